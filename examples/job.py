"""The example job of `make run`: a quasi-isotropic carbon/epoxy laminate
pulled to failure through the library's solver entries, one ply softened to
full damage, and a two-cell wing-box section, then a summary.

    PYTHONPATH=build/python /usr/bin/python3 examples/job.py [--outdir DIR] [--inputs DIR] [--no-plot]

The inputs are the deck and card files of examples/laminate/ (--inputs
another directory holding laminate.inp and the four .zrv cards).  The curves
(CSV), the wing-box report and, when matplotlib is installed, the plot
(PNG) go to --outdir, build/run/ by default.  A job the library refuses ends
with the library's message and exit status 1.
"""

import argparse
import sys
from pathlib import Path

import _kestro

import laminate_job
import wingbox_job

ROOT = Path(__file__).resolve().parent.parent


def wing_box(outdir, results):
    """The wing-box section analysis."""
    results.update(wingbox_job.run(outdir))
    print(f"wing box   report written to {results['report']}")


def summary(laminate, wing):
    tension, softening = laminate["tension"], laminate["softening"]
    rows = [("laminate in-plane stiffness A11/h", f"{tension['A11/h']:.1f} MPa")]
    first = tension["first_ply_failure"]
    if first is not None:
        rows.append(("first-ply failure strain", f"{100 * first['strain']:.4f} % "
                     f"(plies {', '.join(map(str, first['plies']))}, "
                     f"{laminate_job.orientations(first['angles'])}, {first['mode']})"))
        rows.append(("failure sequence", " -> ".join(
            f"{laminate_job.orientations(s['angles'])} at {100 * s['strain']:.3f} %" for s in tension["sequence"])))
    rows.append(("ply softening: dissipated energy", f"{softening['dissipated']:.2f} N/mm^2 "
                 f"(Gf/Lc = {softening['Gf/Lc']:.2f} N/mm^2, "
                 f"{100 * (softening['dissipated'] / softening['Gf/Lc'] - 1):+.1f} %)"))
    if wing:
        rows.append(("wing box shear centre (y, z)", "({:.2f}, {:.2f}) mm".format(*wing["shear_centre"])))
        rows.append(("wing box torsion stiffness GJ", f"{wing['torsion_stiffness']:.4g} N mm^2"))
    width = max(len(name) for name, _ in rows)
    print("\nSummary")
    print("-" * (width + 40))
    for name, value in rows:
        print(f"{name:{width}}  {value}")


def plot(laminate, outdir):
    """The load-strain curve with the ply failures and the ply's softening
    curve, as a PNG; nothing when matplotlib is not installed."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("plot       skipped: matplotlib is not installed")
        return None
    tension, softening = laminate["tension"], laminate["softening"]
    curve, modulus = tension["curve"], tension["curve"][1, 4] / tension["curve"][1, 0]
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4.2))
    left.plot(100 * curve[:, 0], curve[:, 4], "-", color="0.2", label="laminate")
    for s in tension["sequence"]:
        x, y = 100 * s["strain"], modulus * s["strain"]
        left.plot(x, y, "o", color="C3")
        left.annotate(f"{laminate_job.orientations(s['angles'])} ({s['mode']})", (x, y), textcoords="offset points",
                      xytext=(-10, 8), ha="right")
    left.set_ylim(0.0, 1.15 * curve[:, 4].max())
    left.set(xlabel="strain $\\varepsilon_x$ [%]", ylabel="stress $N_x/h$ [MPa]",
             title="[0/45/-45/90]s in tension: ply failures")
    left.grid(alpha=0.3)
    ply = softening["curve"]
    right.plot(100 * ply[:, 0], ply[:, 1], "-", color="C0")
    right.set(xlabel="strain $\\varepsilon_{11}$ [%]", ylabel="stress $\\sigma_{11}$ [MPa]",
              title="0° ply to full softening")
    right.text(0.95, 0.9, f"dissipated {softening['dissipated']:.1f} N/mm²\nGf/Lc {softening['Gf/Lc']:.1f} N/mm²",
               transform=right.transAxes, ha="right", va="top")
    right.grid(alpha=0.3)
    fig.tight_layout()
    path = Path(outdir) / "laminate_job.png"
    fig.savefig(path, dpi=110)
    plt.close(fig)
    print(f"plot       written to {path}")
    return path


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--outdir", type=Path, default=ROOT / "build" / "run")
    parser.add_argument("--inputs", type=Path, default=laminate_job.INPUTS)
    parser.add_argument("--no-plot", action="store_true", help="write no PNG")
    args = parser.parse_args(argv)
    wing = {}
    try:
        laminate = laminate_job.run(args.outdir, args.inputs, before_end=lambda: wing_box(args.outdir, wing))
    except (laminate_job.JobError, _kestro.error, OSError) as exc:
        where = getattr(exc, "where", "")
        print(f"kestro: {exc}" + (f"\n        in {where}" if where else ""), file=sys.stderr)
        return 1
    print("end        analysis ended, shared data released")
    if not args.no_plot:
        plot(laminate, args.outdir)
    summary(laminate, wing)
    return 0


if __name__ == "__main__":
    sys.exit(main())
