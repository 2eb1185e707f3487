"""The analysis control: start-up from the five-step job of tests/data/job,
the impactors' motion, the cycle count, stored stresses and their clearing,
and the explicit solver's entry."""

import shutil
from pathlib import Path

import numpy as np
import pytest

import _kestro
from conftest import recorded
from test_listing import listing

tl, jd, ld, ip = _kestro.toplevel, _kestro.jobdata, _kestro.loaddata, _kestro.impactdata
sd, md, dd, sh = _kestro.sectiondata, _kestro.materialdata, _kestro.debugdata, _kestro.shokriehdata
DATA = Path(__file__).resolve().parents[1] / "data" / "job"
G = 9.80665
HUGE = 1.7976931348623157e308
NO_DECK = "Cannot process any input file. Execution stops.  Please check paths and your inp"
NO_POSITION = "Warning: Impactor position missing in UEXTERNALDB_IOControl."


def job(tmp_path, deck=None, **files):
    """The job of tests/data/job in tmp_path, its deck or other files replaced."""
    for f in DATA.iterdir():
        shutil.copy(f, tmp_path)
    if deck is not None:
        (tmp_path / "job.inp").write_text(deck)
    for name, text in files.items():
        (tmp_path / name.replace("_", ".")).write_text(text)
    jd.jobfilepath, jd.joboutdir = str(tmp_path / "job"), str(tmp_path)


def event(lop, kstep=1, kinc=1, **kw):
    tl.uexternaldb_iocontrol(lop, 0, [0.0, 0.0], 0.1, kstep, kinc, **kw)


def vevent(k, kstep=1, kinc=1, **kw):
    tl.vexternaldb_iocontrol(k, np.array([0, 0, kstep, kinc], np.int32), [0.0, 0.0, 0.1], **kw)


def test_start_up_from_the_deck_and_the_cards(tmp_path):
    job(tmp_path)
    event(0)
    assert recorded()[0] == 0 and (jd.solverid, jd.nsteps, ld.nimp, dd.nupdate) == (1, 5, 2, 3)
    np.testing.assert_array_equal(jd.stepid, [0, 3, 4, 2, 1])  # the key of step 5 stands beyond column 80
    assert sh.cycleprops.shape == (3, 5) and sh.cycleprops[2, 4] == 5
    dprops, cprops = np.zeros((12, 2)), np.zeros((20, 2))
    dprops[1:4] = [[0, 10], [0, 20], [25.4, 30]]
    dprops[5:7] = HUGE  # no nearest element: its distances not set
    cprops[5], cprops[13], cprops[14] = G, [1, 2], 1e-10
    np.testing.assert_array_equal(ld.dprops, dprops)
    np.testing.assert_array_equal(ip.cprops, cprops)
    lists = (md.matidlist, sd.plyorientation, sd.plythickness)
    np.testing.assert_array_equal(sd.sefmatrix, _kestro.laminate.getsectionfmatrix(*lists, sd.plyzcoord, md.peprops))
    np.testing.assert_array_equal(sd.sehmatrix, _kestro.laminate.getsectionhmatrix(*lists, md.peprops))


@pytest.mark.parametrize("steps, kinds", [
    (["*Step, name=Drop_ZRV_IMPACT", "*Step, name=Relax_ZRV_RELAXATION"], [3, 4]),
    (["*Step, name=Load", "*step, name=dic_zrv_dic"], [1, 5]),
    (["*Step, name=Both_ZRV_FATIGUE_ZRV_INITIALIZATION"], [0]),  # the key order decides
    (["*Step, name=A" + " " * 70 + "ZRV_IMPACT"], [1]),
    (["*Step", "*Stepping, ZRV_IMPACT", " *Step, ZRV_IMPACT", "*STEP,ZRV_DIC"], [1, 5, 1, 1]),
])
def test_step_kinds(tmp_path, steps, kinds):
    job(tmp_path, deck="\n".join(steps) + "\n")
    event(0)
    np.testing.assert_array_equal(jd.stepid, kinds)


@pytest.mark.parametrize("lines, positions, warned", [
    ([" 1., 2., 3."], [[1, 2, 3]], False),
    (["1 2 3 4"], [[1, 2, 3]], False),
    ([" 1., 2."], [[1, 2, 0]], True),
    (["abc 1 2 3"], [[0, 0, 0]], True),
    (["*Step, name=Two_ZRV_SENSORELEMENT", "4 5 6"], [[0, 0, 0], [4, 5, 6]], True),
    ([], [[0, 0, 0]], True),
])
def test_impactor_positions(tmp_path, lines, positions, warned):
    job(tmp_path, deck="\n".join(["*Step, name=S", "*Instance, name=Ball_ZRV_SENSORELEMENT", *lines]) + "\n")
    event(0)
    assert ld.nimp == len(positions) and ld.dprops.shape == (12, len(positions))
    np.testing.assert_array_equal(ld.dprops[1:4].T, positions)
    assert recorded() == ((-2, NO_POSITION) if warned else (0, ""))


@pytest.mark.parametrize("scheme, half_velocity", [((0, 0.25, 0.5), 0.0), ((-1, -1, -1), 0.25 * G),
                                                   ((-2, -2, -2), 0.0)])
def test_an_impactor_without_contact_falls_freely(tmp_path, scheme, half_velocity):
    job(tmp_path)
    event(0)
    ip.cprops[6:10, 0] = (2, *scheme)
    for _ in range(3):
        event(2, kstep=2)
    np.testing.assert_allclose(ip.cprops[[3, 4, 18], 0], [0.5 * G * 0.3**2, G * 0.3, half_velocity], rtol=1e-12)
    np.testing.assert_array_equal(ip.cprops[3:6, 1], [0, 0, G])  # no mass: no motion


@pytest.mark.parametrize("forces, last_mark", [((5, 4, 3, 2, 1), 1.0), ((1, 2, 3, 4, 5), 0.0)])
def test_rebound_mark_after_five_forces(tmp_path, forces, last_mark):
    job(tmp_path)
    event(0)
    ip.cprops[6, 0] = 1.0
    marks = []
    for f in forces:
        ip.cprops[0, 0] = f
        event(2, kstep=2)
        marks.append(ip.cprops[15, 0])
    assert marks == [0, 0, 0, 0, last_mark] and ip.cprops[13, 0] == 5 and ip.cprops[10, 0] == forces[-1]


@pytest.mark.parametrize("kstep, zeroed", [(4, True), (1, False), (9, False)])
def test_running_maxima_start_anew_in_structural_response_steps(tmp_path, kstep, zeroed):
    job(tmp_path)
    event(0)
    event(2, kstep=kstep)
    assert (ip.cprops[13:15] == 0).all() == zeroed


@pytest.mark.parametrize("forces, cleared", [((3.0, 4.0), [[0, 0, 0, 0], [4, 2, 2, 2]]),
                                             ((3.0, -1.0), [[3, 0, 0, 0], [-1, 0, 0, 0]])])
def test_contact_reset_at_increment_start(tmp_path, forces, cleared):
    job(tmp_path)
    event(0)
    ip.cprops[[0, 1, 2, 12], :] = 2.0
    ip.cprops[0], ip.cprops[6] = forces, (1.0, 0.0)
    event(1, kstep=2, exflag=1)  # the explicit solver resets at setup only
    assert (ip.cprops[1] == 2).all()
    event(1, kstep=2)
    np.testing.assert_array_equal(ip.cprops[[0, 1, 2, 12]].T, cleared)


@pytest.mark.parametrize("msg, count", [(" STEP 5\n CYCLE 1200 A\n x\n cycle 2500 B\n", 2500), (None, 1),
                                        (" CYCLE 1200\n CYCLE\n", 0.5), (" CYCLE 1200\n cycle x\n", 0.5)])
def test_cycle_count_from_the_message_file(tmp_path, msg, count):
    job(tmp_path, **({} if msg is None else {"job_msg": msg}))
    event(0)
    sh.cycles[0, 4] = 0.5
    event(1, kstep=5)
    assert sh.cycles[0, 4] == count


def test_each_ply_reads_the_constants_of_its_own_temperatures(tmp_path):
    card = (DATA / "MaterialCard.zrv").read_text()
    job(tmp_path, MaterialCard_zrv=card.replace("+Elastic\n140", "+Temperature\n20, 80\n+Table, TYPE=TEMPERATURE\n"
                                                + "1, " * 17 + "1\n+Elastic\n140", 1))
    event(0)
    assert md.peprops.shape == (18, 3, 1)
    tables = sd.sefmatrix.copy(), sd.sehmatrix.copy()
    event(3)
    md.temperatures = None
    job(tmp_path, MaterialCard_zrv=card)
    event(0)
    for table, one in zip(tables, (sd.sefmatrix, sd.sehmatrix)):
        np.testing.assert_allclose(table, one, rtol=1e-13, atol=1e-13 * abs(one).max())


def test_no_deck_after_an_analysis(tmp_path):
    job(tmp_path)
    event(0)
    event(3)
    jd.jobfilepath, jd.joboutdir = str(tmp_path / "absent"), str(tmp_path / "absent")
    event(0)
    assert recorded() == (-3, NO_DECK) and jd.nsteps == 0 and jd.stepid is None and ip.cprops is None
    for lop in (7, 1, 2, 4):
        event(lop, kstep=2)
    assert ip.cprops is None and sd.sestress is None


def test_a_second_start_up_keeps_the_impact_data(tmp_path):
    job(tmp_path)
    event(0)
    ip.cprops[0] = 7.0
    event(0)
    assert recorded()[0] == -3 and (ld.nimp, jd.nsteps) == (0, 5) and (ip.cprops[0] == 7).all()


def test_explicit_analysis_with_a_listing(tmp_path):
    job(tmp_path)
    listing(tmp_path, [(1, "S4R", [1, 2, 3, 4]), (2, "S4R", [2, 5, 6, 3])], [(k, (k, 0, 0)) for k in range(1, 7)])
    vevent(0)
    vevent(5, kstep=1)
    vevent(2, kstep=2)
    assert sd.sestress.shape == (6, 0, 4, 2) and sd.tshearstress.shape == (0, 2, 4, 2)
    np.testing.assert_array_equal(sd.tnormalstress, np.zeros((7, 2)))
    cleared = []
    for kinc in range(1, 10):
        sd.tnormalstress[:] = 1.0
        vevent(4, kstep=2, kinc=kinc)
        cleared += [kinc] if not sd.tnormalstress.any() else []
    assert cleared == [2, 5, 8]
    before = sd.tnormalstress.copy(), ip.cprops.copy()
    for k in (7, -1):
        vevent(k, kstep=2)
    np.testing.assert_array_equal(before[0], sd.tnormalstress)
    np.testing.assert_array_equal(before[1], ip.cprops)
    temperatures = md.temperatures.copy()
    vevent(6)
    assert sd.tnormalstress is None and jd.stepid is None
    event(0)
    assert recorded()[0] == 0 and ld.nimp == 2
    np.testing.assert_array_equal(md.temperatures, temperatures)


@pytest.mark.parametrize("niarray, stepcount", [(None, 7), (2, 0)])
def test_entries_beyond_the_counts_read_as_zero(niarray, stepcount):
    tl.vexternaldb_iocontrol(1, np.array([0, 0, 7, 0], np.int32), [0.0, 0.0, 0.0], niarray=niarray)
    assert jd.stepcount == stepcount


@pytest.mark.parametrize("call", [
    lambda: tl.uexternaldb_iocontrol(0, 0, [0.0, 0.0, 0.0], 0.1, 1, 1),
    lambda: tl.vexternaldb_iocontrol(0, np.zeros(3, np.int32), np.zeros(3)),
    lambda: tl.vexternaldb_iocontrol(0, np.zeros(4, np.int32), np.zeros(2)),
])
def test_short_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()


NO_SECTIONS = "No section card read: SectionCard.zrv and the input deck hold no section."
NO_MATERIALS = "No material card read: MaterialCard.zrv and the input deck hold no material."


NO_SECTION_BLOCK = "SectionCard.zrv has no section block; the deck is read only if it cannot open."
NO_MATERIAL_BLOCK = "MaterialCard.zrv has no material block; the deck is read only if it cannot open."


@pytest.mark.parametrize("removed, in_deck, message", [
    (["SectionCard.zrv"], [], NO_SECTIONS),
    (["MaterialCard.zrv"], [], NO_MATERIALS),
    (["SectionCard.zrv", "MaterialCard.zrv"], [], NO_SECTIONS),
    (["SectionCard.zrv", "MaterialCard.zrv"], ["SectionCard.zrv"], NO_MATERIALS),
    (["SectionCard.zrv", "MaterialCard.zrv"], ["SectionCard.zrv", "MaterialCard.zrv"], None),
    # A card file without blocks: the deck's blocks are not read.
    ({"SectionCard.zrv": "** no block\n"}, ["SectionCard.zrv", "MaterialCard.zrv"], NO_SECTION_BLOCK),
    ({"MaterialCard.zrv": "** no block\n"}, ["MaterialCard.zrv"], NO_MATERIAL_BLOCK),
    ({"MaterialCard.zrv": ""}, [], NO_MATERIAL_BLOCK),
])
def test_start_up_names_a_card_read_from_nowhere(tmp_path, removed, in_deck, message):
    job(tmp_path)
    deck = (tmp_path / "job.inp").read_text() + "".join((DATA / name).read_text() for name in in_deck)
    (tmp_path / "job.inp").write_text(deck)
    for name in removed:  # removed, or given another text
        if isinstance(removed, dict):
            (tmp_path / name).write_text(removed[name])
        else:
            (tmp_path / name).unlink()
    event(0)
    assert recorded() == ((-2, message) if message else (0, ""))
    if message is None:  # the deck's cards: the sections of the card files
        assert (sd.nsec, sd.nplies) == (1, 3) and md.peprops.shape[1:] == (3, 1)


@pytest.mark.parametrize("name, text, message", [
    ("MaterialCard.zrv", (DATA / "MaterialCard.zrv").read_text()[:90],
     "MaterialCard block 1 ends before its ++End Material line."),
    ("SectionCard.zrv", "++Begin Section, SecID=7\n+Material\n+Orientation\n+Thickness\n++End Section\n",
     "SectionCard block 7 holds no data lines."),
    ("MaterialCard.zrv", "++Begin Material, MatID=1\n+Elastic\n1 2 3 4 5 6 7 8 9 10\n++End Material\n",
     "MaterialCard block 1: +Elastic has 10 values, takes 2 to 9."),
])
def test_start_up_names_a_card_block_that_cannot_be_used(tmp_path, name, text, message):
    # Named before the section tables meet the stiffness the block did not give.
    job(tmp_path, **{name.replace(".", "_"): text})
    event(0)
    assert recorded() == (-2, message)


def test_start_up_of_a_deck_without_steps(tmp_path):
    job(tmp_path, deck="*Heading\n*Instance, name=Plate\n")
    event(0)
    assert recorded() == (-2, "Error: The input deck holds no *Step line.") and jd.nsteps == 0


def test_card_paths_past_256_characters_are_not_opened(tmp_path):
    # The step card's name fits; the section card's cut to 256 characters names a file that exists.
    job(tmp_path)
    outdir = tmp_path / ("d" * (242 - len(str(tmp_path))))
    outdir.mkdir()
    for name in ("StepCard.zrv", "SectionCard.zrv", "MaterialCard.zrv"):
        shutil.copy(DATA / name, outdir)
    shutil.copy(DATA / "SectionCard.zrv", str(outdir / "SectionCard.zrv")[:256])
    jd.joboutdir = str(outdir)
    assert len(str(outdir / "StepCard.zrv")) == 256 and len(str(outdir / "SectionCard.zrv")) == 259
    event(0)
    assert recorded() == (-2, "Error: Path of SectionCard.zrv longer than 256 characters; not opened.")
    assert sd.nplies == 1 and 7 not in sd.secidlist and jd.nsteps == 5 and dd.nupdate == 3
