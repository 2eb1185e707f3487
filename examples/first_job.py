"""A first job: set up the shared data of a small laminate from Python, record
an error the way the library's routines do, read it back, and release
everything.

Run with `make run`, or after `make build`:
    PYTHONPATH=build/python /usr/bin/python3 examples/first_job.py
"""

import numpy as np

import _kestro

job = _kestro.jobdata
mat = _kestro.materialdata
sec = _kestro.sectiondata
err = _kestro.errorhandling

# The job's name and output directory (fixed 256-character fields).
job.jobname = "first_job"
job.joboutdir = "/tmp/first_job"

# One section of four plies of the same carbon/epoxy material.
nplies, nsec = 4, 1
sec.nsec, sec.nplies = nsec, nplies
sec.plyorientation = np.array([[0.0], [45.0], [-45.0], [90.0]])
sec.plythickness = np.full((nplies, nsec), 0.125)
mat.matidlist = np.full((nplies, nsec), 1, dtype=np.int32)

# Elastic constants E1, E2, E3, nu12, nu13, nu23, G12, G13, G23 of every ply.
elastic = [135000.0, 9500.0, 9500.0, 0.3, 0.3, 0.45, 5000.0, 5000.0, 3300.0]
mat.peprops = np.repeat(np.array(elastic)[:, None, None], nplies, axis=1)
print("plies:", sec.nplies, "orientations:", sec.plyorientation[:, 0])
print("E1 of ply 3:", mat.peprops[0, 2, 0])

# Element data for two four-node shells, created by the library itself.
_kestro.datahandling.allocateelementdata(4, 2)
_kestro.elementdata.elemlist[:] = [101, 102]
print("elements:", _kestro.elementdata.elemlist)

# Record an error as a library routine would: code, 80-character message,
# integer and real context, and names as columns of character codes.
names = np.array([[ord(c) for c in "ply".ljust(8)]], dtype=np.int32).T
err.xerr(-2, "Warning: ply thickness below limit", [3], [0.1], names, pyerr=1)
err.xerr(-1, "a second error is not recorded", [], [], np.zeros((0, 0), np.int32), pyerr=1)
name = "".join(chr(c) for c in err.errasciim[:, 0]).strip()
print(f"error {int(err.errstat)}: {err.errstring.item().decode().strip()!r} "
      f"(ints {err.errintv.tolist()}, reals {err.errrealv.tolist()}, name {name!r})")
print("cleared:", err.rsxerr(True), "errstat now", int(err.errstat))

# End of the analysis: release the shared arrays.
print("deallocall:", _kestro.datahandling.deallocall())
print("peprops after release:", mat.peprops, "- nplies kept:", int(sec.nplies))
