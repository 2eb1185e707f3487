"""The laminate job: kestro driven the way a finite-element solver drives it.

This module plays the solver.  It calls the library's solver entries through
their exported C symbols (ctypes on libkestro.so), every argument by
reference, as a solver's forwarding routines do, and reads the model data the
card readers filled through the extension module `_kestro`:

1. start of the analysis: the control entry (event 0) reads the input deck
   `laminate.inp` for its steps and the four card files beside it;
2. step 1 maps the damage card's initial damage onto the gauge point;
3. step 2 pulls the [0/45/-45/90]s laminate in x, 0.05 % strain per increment:
   per ply the damage field driver `gen_damage` (the five failure modes by the
   criteria of the material card, here maximum stress) and then the ply
   material `umat_lamina`; the driver solves Ny = Nxy = 0 by Newton's method
   with the returned tangents;
4. step 3 pulls one 0-degree ply of the same material along its fibres to
   full softening through the explicit ply-damage material `vumat_cartesian`;
5. end of the analysis (event 3): everything released.

`run(outdir)` does all of it and returns the numbers; `examples/job.py` prints
them as a table and draws the plot.
"""

import csv
from ctypes import byref, c_double, c_size_t
from pathlib import Path

import numpy as np

import _kestro
from symbols import entry, i4, r8, symbol

INPUTS = Path(__file__).resolve().parent / "laminate"
DECK = "laminate"  # the deck is <inputs>/laminate.inp

# The model as the deck describes it: one shell element (number 1), one
# integration point at the gauge point, one section point per ply, the
# material name with the section id, 40 state variables, 5 field variables.
MATERIAL = "T300-EPOXY_S@1@".ljust(80).encode()
GAUGE_POINT = np.zeros(3)
ELEMENT_LENGTH = 25.0
NSTATV, NFIELD = 40, 5

# Step 2: displacement control, 0.05 % strain per increment, at most 2 %.
STRAIN_INCREMENT, MAX_INCREMENTS = 5e-4, 40
# Step 3: a 1 mm explicit element; the softening is followed in 1000 increments.
PLY_LENGTH, PLY_INCREMENTS, PLY_DENSITY = 1.0, 1000, 1.55e-9

CONTROL = entry("UEXTERNALDB_IOControl")
GEN_DAMAGE, UMAT_LAMINA, VUMAT_CARTESIAN = (entry(symbol("toplevel", name))
                                            for name in ("gen_damage", "umat_lamina", "vumat_cartesian"))


class JobError(Exception):
    """The analysis stops: the message is the library's error record (or says
    what the job could not find), `where` the call that met it."""

    def __init__(self, message, where=""):
        super().__init__(message)
        self.where = where


def check(where):
    """Stop the analysis when the library recorded an error, with its message."""
    errors = _kestro.errorhandling
    if errors.errstat != 0:
        message = bytes(errors.errstring).decode(errors="replace").rstrip(" \0")
        errors.rsxerr(True)
        raise JobError(message, where)


def control(event, kstep=1, kinc=0, dtime=0.0):
    """The control entry at an analysis event (0 start, 1 and 2 start and end of
    an increment, 3 end, 5 and 6 start and end of a step)."""
    CONTROL(i4(event), i4(0), np.zeros(2).ctypes, r8(dtime), i4(kstep), i4(kinc), None)
    check(f"UEXTERNALDB_IOControl, event {event}, step {kstep}, increment {kinc}")


def orientations(angles):
    """A set of ply angles as an engineer writes it: 90°, ±45°, 0°."""
    a = sorted({abs(x) for x in angles})
    return ", ".join(("±" if x and -x in angles and x in angles else "") + f"{x:g}°" for x in a)


class PlyPoint:
    """The integration point of one ply: its state and field variables as the
    solver keeps them between increments."""

    def __init__(self, ply, angle, thickness):
        self.ply, self.angle, self.thickness = ply, angle, thickness
        # Laminate strains (x, y, engineering xy) to ply strains (1, 2, 12).
        self.rotation = _kestro.lamina.getnyetransformationmatrix(np.radians(angle), 3, 2, 1)
        self.statev = np.zeros(NSTATV)
        self.field = np.zeros(NFIELD)
        self.strain = np.zeros(3)  # ply axes, start of the increment

    def damage_field(self, kstep, kinc, dtime):
        GEN_DAMAGE(self.field.ctypes, self.statev.ctypes, np.eye(3).ctypes, np.eye(3).ctypes, r8(ELEMENT_LENGTH),
                   np.zeros(2).ctypes, r8(dtime), MATERIAL, i4(NFIELD), i4(NSTATV), i4(1), i4(1), i4(self.ply),
                   i4(1), i4(kstep), i4(kinc), GAUGE_POINT.ctypes, None, c_size_t(80))
        check(f"gen_damage, ply {self.ply}, step {kstep}, increment {kinc}")

    def material(self, laminate_strain, kstep, kinc, dtime):
        """umat_lamina at the laminate strain (plane stress, ply axes): the
        stress and tangent in laminate axes and the point's new state."""
        strain = self.rotation @ laminate_strain
        stress, ddsdde, statev = np.zeros(3), np.zeros((3, 3), order="F"), self.statev.copy()
        sse, spd, scd, rpl, drpldt, pnewdt = (c_double(0.0) for _ in range(6))
        zeros3, zero1 = np.zeros(3), np.zeros(1)
        UMAT_LAMINA(stress.ctypes, statev.ctypes, ddsdde.ctypes, byref(sse), byref(spd), byref(scd), byref(rpl),
                    zeros3.ctypes, zeros3.ctypes, byref(drpldt), self.strain.ctypes,
                    (strain - self.strain).ctypes, np.zeros(2).ctypes, r8(dtime), r8(20.0), r8(0.0),
                    zero1.ctypes, zero1.ctypes, MATERIAL, i4(2), i4(1), i4(3), i4(NSTATV), np.ones(1).ctypes, i4(1),
                    GAUGE_POINT.ctypes, np.eye(3).ctypes, byref(pnewdt), r8(ELEMENT_LENGTH), np.eye(3).ctypes,
                    np.eye(3).ctypes, i4(1), i4(1), i4(self.ply), i4(1), np.array([kstep, 1, 1, 0], np.int32).ctypes,
                    i4(kinc), c_size_t(80))
        check(f"umat_lamina, ply {self.ply}, step {kstep}, increment {kinc}")
        t = self.rotation
        return t.T @ stress * self.thickness, t.T @ ddsdde @ t * self.thickness, statev, strain


def equilibrium(points, ex, guess, kstep, kinc, dtime):
    """Newton's method on the free resultants Ny = Nxy = 0 at the applied strain
    ex, from the lateral strains `guess`: the laminate strain, N and A."""
    strain = np.array([ex, *guess])
    for _ in range(20):
        results = [p.material(strain, kstep, kinc, dtime) for p in points]
        n = sum(r[0] for r in results)
        a = sum(r[1] for r in results)
        if np.all(np.isfinite(n)) and abs(n[1]) + abs(n[2]) <= 1e-13 * abs(n[0]):
            for p, (_, _, statev, ply_strain) in zip(points, results):
                p.statev, p.strain = statev, ply_strain
            return strain, n, a
        if not np.all(np.isfinite(a)):
            break
        strain[1:] -= np.linalg.solve(a[1:, 1:], n[1:])
    raise JobError(f"No equilibrium at increment {kinc} of step {kstep} (ex = {ex:.6g}).")


def start_up(inputs):
    """Event 0 with the deck and cards of `inputs`; the section's plies."""
    job = _kestro.jobdata
    job.joboutdir = str(inputs)
    job.jobfilepath = str(Path(inputs) / DECK)
    _kestro.errorhandling.rsxerr(True)
    control(0)
    section, material = _kestro.sectiondata, _kestro.materialdata
    if section.plyorientation is None or material.peprops is None:
        missing = "SectionCard.zrv" if section.plyorientation is None else "MaterialCard.zrv"
        raise JobError(f"No plies read: {Path(inputs) / missing} holds no section and material of this job.")
    nplies = int(section.nplies)
    angles = "/".join(f"{a:g}" for a in section.plyorientation[:nplies, 0])
    print(f"start-up   {job.jobfilepath.item().decode().strip()}.inp: {int(job.nsteps)} steps of kinds "
          f"{', '.join(str(k) for k in job.stepid)}; section {int(section.secidlist[0])}: [{angles}], "
          f"h = {section.plythickness[:nplies, 0].sum():g} mm")
    return ([PlyPoint(k + 1, float(section.plyorientation[k, 0]), float(section.plythickness[k, 0]))
             for k in range(nplies)], [int(k) for k in job.stepid])


def inspection(points):
    """Step 1: the damage card's regions mapped onto the gauge point, no load."""
    control(5, kstep=1)
    control(1, kstep=1, kinc=1, dtime=1.0)
    for p in points:
        p.damage_field(1, 1, 1.0)
    equilibrium(points, 0.0, (0.0, 0.0), 1, 1, 1.0)
    control(2, kstep=1, kinc=1, dtime=1.0)
    control(6, kstep=1)
    damaged = [p.ply for p in points if p.statev[6:11].any()]
    print(f"step 1     initial damage at the gauge point: {', '.join(map(str, damaged)) or 'none'}")
    return damaged


def tension(points, outdir):
    """Step 2: the laminate pulled in x until every ply has failed."""
    control(5, kstep=2)
    thickness = sum(p.thickness for p in points)
    failures = {}  # ply -> (failure strain, mode, increment)
    elastic = {p.ply: None for p in points}  # ply -> (ex, exposure) of its last evaluation below 1
    curve, stiffness, guess, ex_evaluated = [(0.0, 0.0, 0.0, 0.0, 0.0, 0)], None, np.zeros(2), 0.0
    dtime = 1.0 / MAX_INCREMENTS
    for kinc in range(1, MAX_INCREMENTS + 1):
        control(1, kstep=2, kinc=kinc, dtime=dtime)
        # The field hook evaluates the stress of the last converged increment.
        for p in points:
            p.damage_field(2, kinc, dtime)
            exposure, flags = p.statev[12], p.statev[7:9]
            if p.ply in failures:
                continue
            if exposure >= 1.0 or flags.any() or p.statev[6] >= 1.0:
                ex, r = elastic[p.ply] or (ex_evaluated, exposure)
                mode = "fibre" if flags[0] >= 1.0 else "matrix" if flags[1] >= 1.0 else "general"
                failures[p.ply] = (ex / r, mode, kinc)
            elif exposure > 0.0:
                elastic[p.ply] = (ex_evaluated, exposure)
        if len(failures) == len(points):  # the last ply has failed: the step ends
            control(2, kstep=2, kinc=kinc, dtime=dtime)
            break
        ex = kinc * STRAIN_INCREMENT
        previous = curve[-1][0]
        strain, n, a = equilibrium(points, ex, guess * (ex / previous if previous else 1.0), 2, kinc, dtime)
        guess = strain[1:]
        stiffness = a if stiffness is None else stiffness
        curve.append((ex, strain[1], strain[2], n[0], n[0] / thickness, len(failures)))
        ex_evaluated = ex
        control(2, kstep=2, kinc=kinc, dtime=dtime)
    control(6, kstep=2)

    path = Path(outdir) / "laminate_curve.csv"
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["eps_x", "eps_y", "gamma_xy", "N_x [N/mm]", "sigma_x [MPa]", "plies_flagged"])
        w.writerows(curve)
    sequence = []
    for ply, (strain, mode, kinc) in sorted(failures.items(), key=lambda f: (f[1][0], f[0])):
        angle = next(p.angle for p in points if p.ply == ply)
        if sequence and abs(sequence[-1]["strain"] - strain) <= 1e-12 * strain:
            sequence[-1]["plies"].append(ply)
            sequence[-1]["angles"].add(angle)
        else:
            sequence.append({"strain": strain, "plies": [ply], "angles": {angle}, "mode": mode, "increment": kinc})
    print(f"step 2     tension: A11/h = {stiffness[0, 0] / thickness:.1f} MPa, {len(curve) - 1} increments")
    print("           eps_x [%]  sigma_x [MPa]  plies flagged")
    for row in curve[5::5] + ([] if (len(curve) - 1) % 5 == 0 else curve[-1:]):
        print(f"           {100 * row[0]:9.3f}  {row[4]:13.2f}  {row[5]:13d}")
    for k, s in enumerate(sequence):
        what = "first-ply failure" if k == 0 else "then"
        print(f"           {what:17s} at eps_x = {100 * s['strain']:.6f} %: plies "
              f"{', '.join(map(str, s['plies']))} ({orientations(s['angles'])}, {s['mode']})")
    print(f"           curve written to {path}")
    return {"A": stiffness, "thickness": thickness, "A11/h": stiffness[0, 0] / thickness,
            "curve": np.array(curve), "sequence": sequence, "first_ply_failure": sequence[0] if sequence else None,
            "csv": path}


def ply_properties(elastic):
    """The 39 properties of the explicit ply-damage material from the card's
    tables of the first ply (its nine elastic constants given): moduli,
    strengths, fracture energies; stress input, maximum stress per mode,
    accumulated damages, degraded stiffness."""
    m = _kestro.materialdata
    e1, e2, e3, nu12, nu13, nu23, g12, g13, g23 = elastic
    props = np.zeros(39)
    props[:9] = e1, e2, e3, g12, g13, g23, nu12, nu23, nu13
    props[9:18] = m.psprops[:9, 0, 0]
    props[18:20] = e1, e2
    props[24:29] = m.pfprops[:5, 0, 0]
    props[32], props[33], props[36], props[37] = 2, 2, 1, 1
    return props


def ply_softening(outdir):
    """Step 3: one 0-degree ply in uniaxial tension along its fibres, the lateral
    strains found so that the lateral stresses vanish, until the fibre damage
    reaches 1.  Returns the dissipated energy per unit volume and Gf / Lc."""
    kstep = 3
    elastic = _kestro.materialdata.peprops[:9, 0, 0]
    props = ply_properties(elastic)
    nu12, nu13 = elastic[3:5]
    # The lateral block (22, 33) of the ply's stiffness.
    lateral = _kestro.lamina.getnyestiffnessmatrix(elastic, 6)[1:3, 1:3]
    gf, xt = props[24], props[9]
    final = 2.0 * gf / (xt * PLY_LENGTH)
    step = final / PLY_INCREMENTS
    dt = 1.0 / PLY_INCREMENTS

    z6, z9 = np.zeros(6), np.zeros(9)
    lengths = np.full(3, PLY_LENGTH)
    density = np.array([PLY_DENSITY])

    def call(totaltime, straininc, stressold, stateold, internal, inelastic):
        stressnew, statenew = np.zeros(6), np.zeros(82)
        internal_new, inelastic_new = np.zeros(1), np.zeros(1)
        VUMAT_CARTESIAN(i4(1), i4(3), i4(3), i4(82), i4(0), i4(39), i4(0), r8(totaltime), r8(totaltime), r8(dt),
                        MATERIAL, GAUGE_POINT.ctypes, lengths.ctypes, props.ctypes, density.ctypes,
                        straininc.ctypes, np.zeros(3).ctypes, np.zeros(1).ctypes, z6.ctypes, z9.ctypes,
                        np.zeros(1).ctypes, stressold.ctypes, stateold.ctypes, internal.ctypes, inelastic.ctypes,
                        np.zeros(1).ctypes, z6.ctypes, z9.ctypes, np.zeros(1).ctypes, stressnew.ctypes,
                        statenew.ctypes, internal_new.ctypes, inelastic_new.ctypes, c_size_t(80))
        check(f"vumat_cartesian, step {kstep}, time {totaltime:g}")
        return stressnew, statenew, internal_new, inelastic_new

    control(5, kstep=kstep)
    state = np.zeros(82)
    state[18] = 1.0  # the element is active
    # The packaged start: the solver's first call, at time 0 with no strain.
    stress, state, internal, inelastic = call(0.0, np.zeros(6), np.zeros(6), state, np.zeros(1), np.zeros(1))
    strain = np.zeros(3)
    curve = [(0.0, 0.0, 0.0, 0.0)]
    for kinc in range(1, 2 * PLY_INCREMENTS + 1):
        control(1, kstep=kstep, kinc=kinc, dtime=dt)
        target = strain + [step, -nu12 * step, -nu13 * step]
        for _ in range(50):
            inc = np.concatenate([target - strain, np.zeros(3)])
            result = call(kinc * dt, inc, stress, state, internal, inelastic)
            residual = result[0][1:3]
            if np.all(np.abs(residual) <= 1e-9 * xt):
                break
            target[1:] -= np.linalg.solve(lateral, residual)
        else:
            raise JobError(f"No uniaxial stress at increment {kinc} of step {kstep}.")
        stress, state, internal, inelastic = result
        strain = target
        curve.append((strain[0], stress[0], state[9], inelastic[0] * PLY_DENSITY))
        control(2, kstep=kstep, kinc=kinc, dtime=dt)
        if state[9] >= 1.0:
            break
    control(6, kstep=kstep)

    path = Path(outdir) / "ply_softening.csv"
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["eps_11", "sigma_11 [MPa]", "fibre_damage", "dissipated [N/mm^2]"])
        w.writerows(curve)
    print(f"step 3     ply softening: fibre damage {state[9]:g} at eps_11 = {100 * strain[0]:.3f} % after "
          f"{len(curve) - 1} increments; dissipated {inelastic[0] * PLY_DENSITY:.2f} N/mm^2 against "
          f"Gf/Lc = {gf:g}/{PLY_LENGTH:g} = {gf / PLY_LENGTH:.2f} N/mm^2")
    print(f"           curve written to {path}")
    return {"dissipated": inelastic[0] * PLY_DENSITY, "Gf": gf, "Lc": PLY_LENGTH, "Gf/Lc": gf / PLY_LENGTH,
            "curve": np.array(curve), "csv": path, "damage": state[9]}


def run(outdir, inputs=None, before_end=None):
    """The whole laminate job; results in `outdir` (created).  `before_end` is
    called after step 3 and before the end of the analysis (the wing box)."""
    outdir = Path(outdir)
    outdir.mkdir(parents=True, exist_ok=True)
    inputs = INPUTS if inputs is None else Path(inputs)
    try:
        points, kinds = start_up(inputs)
        results = {"steps": kinds, "plies": [(p.ply, p.angle, p.thickness) for p in points]}
        results["initial_damage"] = inspection(points)
        results["tension"] = tension(points, outdir)
        results["softening"] = ply_softening(outdir)
        if before_end is not None:
            before_end()
    finally:
        control(3)
    return results
