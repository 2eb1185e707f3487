"""The damage card reader: the example card of tests/data, tables with their
items in either order, regions of plies and ply interfaces, and the blocks and
tables it skips."""

import shutil
from pathlib import Path

import numpy as np
import pytest

import _kestro
from conftest import recorded

io = _kestro.iohandling
dd = _kestro.damagedata
bd = _kestro.bukdata
eh = _kestro.errorhandling
DATA = Path(__file__).resolve().parents[1] / "data"
HUGE = np.finfo(np.float64).max


def read(tmp_path, text=None, nplies=3, nsec=1):
    if text is None:
        shutil.copy(DATA / "DamageCard.zrv", tmp_path)
    else:
        (tmp_path / "DamageCard.zrv").write_text(text)
    io.getdamagedatafromfile("absent.inp", str(tmp_path), nplies, nsec)


def check_example():
    assert dd.ndmg == 2
    assert dd.dmgplane.shape == (6, 2)
    np.testing.assert_array_equal(dd.dmgplane[:, 0], [10, 20, 0, -HUGE, -HUGE, -HUGE])
    np.testing.assert_array_equal(dd.dmgplane[:, 1], [5, 5, 0, 1, 0, 0])
    assert dd.fiberdds.shape == (3, 3, 2)
    np.testing.assert_array_equal(dd.fiberdds[:, :, 0], [[5, 4, 0], [3, 2, 0], [0, 0, 0]])
    np.testing.assert_array_equal(dd.fiberdds[:, :, 1], 0.0)
    assert dd.delamdds.shape == (3, 2, 2)
    np.testing.assert_array_equal(dd.delamdds[:, :, 0], [[6, 2], [4, 1], [0, 0]])
    assert bd.bukintdatalist.shape == (4, 2, 2, 1) and not bd.bukintdatalist.any()
    assert bd.bukrealdatalist.shape == (12, 2, 2, 1) and not bd.bukrealdatalist.any()
    assert dd.dmgpoints.shape == (4, 3, 6, 2)
    expected = np.full((4, 3, 6, 2), HUGE)
    expected[:, 1, 2, 0] = [0, 0, 1, 1]
    expected[:2, 2, 5, 1] = [1, 2]
    np.testing.assert_array_equal(dd.dmgpoints, expected)
    assert dd.matrixdds is None  # "matrix" names no category


def test_the_example_card(tmp_path):
    read(tmp_path)
    check_example()
    assert recorded()[0] == 0
    read(tmp_path)  # a second read gives the same
    check_example()


def test_blocks_and_tables_that_are_skipped(tmp_path):
    example = (DATA / "DamageCard.zrv").read_text()
    fifth = "++Begin Damage, DmgID=5\n+Position\n1 2\n+Abstraction, Fiber\n1 2 3 4\n++End Damage\n"
    tables = example.replace("+Table, TYPE=Matrix, LayID=2", "+Table, TYPE=Resin, LayID=1\n9\n"
                             "+Table, TYPE=Fiber, LayID=9\n9\n+Table, TYPE=Matrix, LayID=2")
    for text, message in ((example + fifth, "Error: Damage set number out of range in GetDamageDataFromFile."),
                          (tables + fifth, "Error: +Table with unknown layer or category in GetDamageDataFromFile.")):
        read(tmp_path, text)
        assert recorded() == (-2, message)
        assert dd.ndmg == 3 and dd.dmgplane.shape == (6, 3) and dd.fiberdds.shape == (3, 3, 3)
        np.testing.assert_array_equal(dd.dmgplane[:, 2], -HUGE)
        np.testing.assert_array_equal(dd.fiberdds[:, :, 2], 0.0)
        np.testing.assert_array_equal(dd.dmgpoints[:, 1, 2, 0], [0, 0, 1, 1])
        assert (dd.dmgpoints[:, 0, 1:3, 0] == HUGE).all()
        eh.rsxerr(1)
        _kestro.datahandling.deallocall()


@pytest.mark.parametrize("params,layer,category", [
    ("TYPE=Fiber, LayID=2", 1, 1), ("Layer=2, TYPE=Fiber", 1, 1), ("TYPE=Core, LayID=1", 0, 4),
    ("TYPE=Delamination, Layer=3", 2, 3), ("TYPE=General,LayID=1", 0, 0),
])
def test_tables_by_layer_and_category(tmp_path, params, layer, category):
    read(tmp_path, f"++Begin Damage, DmgID=1\n+Table, {params}\n7 8\n++End Damage\n")
    expected = np.full((2, 3, 6, 1), HUGE)
    expected[:, layer, category, 0] = [7, 8]
    np.testing.assert_array_equal(dd.dmgpoints, expected)
    assert recorded()[0] == 0


@pytest.mark.parametrize("nplies,created", [(1, False), (4, True)])
def test_delamination_regions_of_ply_interfaces(tmp_path, nplies, created):
    read(tmp_path, "++Begin Damage, DmgID=1\n+Abstraction, Delamination\n1 2 3 4\n++End Damage\n", nplies, 2)
    if not created:
        assert dd.delamdds is None and bd.bukintdatalist is None and bd.bukrealdatalist is None
        return
    assert dd.delamdds.shape == (3, 3, 1)
    np.testing.assert_array_equal(dd.delamdds[:, 0, 0], [2, 3, 0])
    assert bd.bukintdatalist.shape == (4, 3, 1, 2) and bd.bukrealdatalist.shape == (12, 3, 1, 2)


def test_existing_arrays_keep_their_shape_and_the_plies_not_read(tmp_path):
    dd.userdds = np.full((3, 2, 1), 9.0)
    bd.bukintdatalist = np.full((1, 1, 1, 1), 5, np.int32)
    read(tmp_path, "+Position\n1 2 3 4 5 6 7 8\n++Begin Damage, DmgID=1\n+Abstraction, User\n1 2 3 4\n"
                   "+Abstraction, Delamination\n1 2 3 4\n++End Damage\n")
    np.testing.assert_array_equal(dd.userdds[:, :, 0], [[2, 9], [3, 9], [9, 9]])
    np.testing.assert_array_equal(bd.bukintdatalist, [[[[5]]]])  # left as it was
    assert dd.dmgplane is None  # "+Position" outside a block is ignored
