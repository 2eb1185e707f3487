"""Report files that would block a writer (a FIFO without a reader) are
refused at once: the integration-point report writes nothing and says
nothing, the box-beam report and trace record their refusal; a character
device such as /dev/null is written as before."""

import os
import subprocess
import sys
import textwrap
from pathlib import Path

import _kestro

HERE = Path(__file__).resolve().parent


def test_report_paths_that_are_fifos_return_at_once(tmp_path):
    for name in ("job.rst", "report.txt", "trace.txt"):
        os.mkfifo(tmp_path / name)
    code = f"""
        import sys
        sys.path.insert(0, {str(HERE)!r})
        import _kestro
        from boxbeam_data import bb, box, put, set_path
        from conftest import recorded
        io = _kestro.iohandling
        for path in ({str(tmp_path / "job.rst")!r}, "/dev/null"):
            io.getgausspointreport(path, [1.0, 2.0, 3.0], 7, 1)
        print(int(recorded()[0]))
        put("steuer.klog", 6)
        for exdru, refused in ((True, "trace"), (False, "report")):
            _kestro.errorhandling.rsxerr(1)
            box(druck=True, exdru=exdru, tmp_path=__import__("pathlib").Path({str(tmp_path)!r}))
            try:
                bb.box_getxsection()
            except _kestro.error as error:
                print(refused in str(error), int(recorded()[0]))
        _kestro.errorhandling.rsxerr(1)
        set_path("csinfopath", "/dev/null")
        bb.box_getxsection()
        print(int(recorded()[0]))
    """
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(Path(_kestro.__file__).parent), str(HERE)]))
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True, text=True,
                            timeout=30)
    assert result.stdout.splitlines() == ["0", "True -1", "True -1", "0"], result.stderr
