// Shell transverse stresses on tables with no room to spare, under the
// sanitizers: indices and counts out of range read and write nothing outside
// the arrays, and a curved element reads only its own stored stresses.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decl/elementhandling.hpp"
#include "decl/laminate.hpp"
#include "shared_state.hpp"

namespace {

using Transverse = SharedState;

struct Model {
    int32_t nplies = 2, nsec = 1, nzcoord = 5, nintpoint = 6, ndof = 5, nnodes = 8, nelem = 1, points = 4, elastic = 9;
    std::vector<double> normal = std::vector<double>(5), shear = std::vector<double>(6 * 2 * 4), coords, motion,
                        sestress = std::vector<double>(6 * 6 * 4, 100.0), h = std::vector<double>(4),
                        f = std::vector<double>(20), angles{0.0, 90.0}, t{0.5, 0.5}, z = std::vector<double>(5),
                        plyelastic, curvatures{0.1, -0.05};
    std::vector<int32_t> spt{3}, kind{5}, ids{1, 1};

    Model() {
        const double xy[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
        for (const auto &p : xy) {
            coords.insert(coords.end(), {p[0], p[1], 0.0});
            motion.insert(motion.end(), {0.001 * p[0], 0.0, 0.005 * p[0] * p[0], 0.0, 0.0});
        }
        for (int p = 0; p < 2; ++p)
            plyelastic.insert(plyelastic.end(), {1000, 1000, 1000, 0.25, 0.25, 0.25, 400, 400, 400});
        GetSectionZCoord(z.data(), ids.data(), t.data(), &nplies, &nsec, nullptr);
        GetSectionFMatrix(f.data(), ids.data(), angles.data(), t.data(), z.data(), plyelastic.data(), &nplies, &nsec,
                          nullptr, nullptr);
        GetSectionHMatrix(h.data(), ids.data(), angles.data(), t.data(), plyelastic.data(), &nplies, &nsec, nullptr,
                          nullptr, nullptr);
    }

    void run(int32_t elemid, int32_t gpid, int32_t secid) {
        const int32_t on = 1;
        GetShellTransverseStresses(normal.data(), shear.data(), coords.data(), motion.data(), sestress.data(), h.data(),
                                   f.data(), angles.data(), t.data(), z.data(), plyelastic.data(), spt.data(),
                                   curvatures.data(), kind.data(), ids.data(), &elemid, &gpid, &secid, &on, &on,
                                   &nplies, &nsec, &nzcoord, &nintpoint, &ndof, &nnodes, &nelem, &points, &elastic);
    }
    bool untouched() const {
        for (double v : normal)
            if (v != 0.0) return false;
        for (double v : shear)
            if (v != 0.0) return false;
        return true;
    }
};

TEST_F(Transverse, OutOfRangeArgumentsChangeNothing) {
    const struct {
        int32_t elemid, gpid, secid, spt, points;
    } cases[] = {{2, 1, 1, 3, 4}, {0, 1, 1, 3, 4}, {1, 1, 2, 3, 4}, {1, 5, 1, -1, 4}, {1, 5, 1, 3, 1}};
    for (const auto &c : cases) {
        Model m;
        m.spt[0] = c.spt;
        m.points = c.points;
        m.sestress.resize(static_cast<std::size_t>(6 * 6 * c.points));
        m.run(c.elemid, c.gpid, c.secid);
        // Curved: with section points -1, or a gpid past the points, or stored stresses of
        // fewer than four points, neither the shear part nor the curved normal part runs.
        EXPECT_TRUE(m.untouched()) << c.elemid << " " << c.gpid << " " << c.secid << " " << c.spt;
    }
    Model m;
    m.run(1, 4, 1);
    EXPECT_FALSE(m.untouched());
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
}

}  // namespace
