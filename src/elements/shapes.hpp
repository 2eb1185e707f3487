// Shape functions of the five element geometries: the 3-node line, the
// 6-node triangle, the 4- and 8-node quadrilaterals and the 8-node brick.
// Each node's values come from one closed form (the value and every
// derivative together); the scalar routines select one of them after their
// argument checks, the tables take them row by row.  Defined inline so that
// the tables and the shell kinematics inline them; the generated export
// table emits them under their C names.  The node forms are always inlined
// and the tables' loops unrolled, so that a table, also the copy emitted
// under its C name, is one straight run of its closed forms.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/errorhandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/hex8.hpp"
#include "decl/quad4.hpp"
#include "decl/quad8.hpp"
#include "decl/tria6.hpp"
#include "decl/truss3.hpp"

// The tables' loops over the nodes run whole.
#define KESTRO_EACH_NODE _Pragma("GCC unroll 8")

namespace kestro::elements {

// A node's shape function and its derivatives in two natural coordinates.
struct Plane {
    double n, dxi, deta, dxixi, detaeta, dxieta;
};

// The same for the brick: pure second derivatives are zero.
struct Solid {
    double n, dxi, deta, dzeta, dxieta, dxizeta, detazeta;
};

[[gnu::always_inline]] inline Plane tria6_node(double xi, double eta, int32_t i) {
    const double l = 1.0 - xi - eta;
    switch (i) {
        case 1:
            return {l * (2.0 * l - 1.0), 4.0 * xi + 4.0 * eta - 3.0, 4.0 * xi + 4.0 * eta - 3.0, 4.0, 4.0, 4.0};
        case 2:
            return {xi * (2.0 * xi - 1.0), 4.0 * xi - 1.0, 0.0, 4.0, 0.0, 0.0};
        case 3:
            return {eta * (2.0 * eta - 1.0), 0.0, 4.0 * eta - 1.0, 0.0, 4.0, 0.0};
        case 4:
            return {4.0 * xi * l, 4.0 * (1.0 - 2.0 * xi - eta), -4.0 * xi, -8.0, 0.0, -4.0};
        case 5:
            return {4.0 * xi * eta, 4.0 * eta, 4.0 * xi, 0.0, 0.0, 4.0};
        default:
            return {4.0 * eta * l, -4.0 * eta, 4.0 * (1.0 - xi - 2.0 * eta), 0.0, -8.0, -4.0};
    }
}

// Natural coordinates of the quadrilaterals' corners.
inline constexpr double kQuadXi[4] = {-1.0, 1.0, 1.0, -1.0};
inline constexpr double kQuadEta[4] = {-1.0, -1.0, 1.0, 1.0};

[[gnu::always_inline]] inline Plane quad4_node(double xi, double eta, int32_t i) {
    const double a = kQuadXi[i - 1], b = kQuadEta[i - 1];
    const double fx = 1.0 + xi * a, fy = 1.0 + eta * b;
    return {fx * fy / 4.0, a * fy / 4.0, b * fx / 4.0, 0.0, 0.0, a * b / 4.0};
}

[[gnu::always_inline]] inline Plane quad8_node(double xi, double eta, int32_t i) {
    if (i <= 4) {
        const double a = kQuadXi[i - 1], b = kQuadEta[i - 1];
        const double fx = 1.0 + xi * a, fy = 1.0 + eta * b, s = xi * a + eta * b;
        return {fx * fy * (s - 1.0) / 4.0,
                a * fy * (2.0 * xi * a + eta * b) / 4.0,
                b * fx * (xi * a + 2.0 * eta * b) / 4.0,
                fy / 2.0,
                fx / 2.0,
                a * b * (2.0 * s + 1.0) / 4.0};
    }
    switch (i) {
        case 5:
            return {
                (1.0 - xi * xi) * (1.0 - eta) / 2.0, -xi * (1.0 - eta), -(1.0 - xi * xi) / 2.0, -(1.0 - eta), 0.0, xi};
        case 6:
            return {(1.0 + xi) * (1.0 - eta * eta) / 2.0,
                    (1.0 - eta * eta) / 2.0,
                    -eta * (1.0 + xi),
                    0.0,
                    -(1.0 + xi),
                    -eta};
        case 7:
            return {
                (1.0 - xi * xi) * (1.0 + eta) / 2.0, -xi * (1.0 + eta), (1.0 - xi * xi) / 2.0, -(1.0 + eta), 0.0, -xi};
        default:
            return {(1.0 - xi) * (1.0 - eta * eta) / 2.0,
                    -(1.0 - eta * eta) / 2.0,
                    -eta * (1.0 - xi),
                    0.0,
                    -(1.0 - xi),
                    eta};
    }
}

inline constexpr double kHexXi[8] = {-1.0, 1.0, 1.0, -1.0, -1.0, 1.0, 1.0, -1.0};
inline constexpr double kHexEta[8] = {-1.0, -1.0, 1.0, 1.0, -1.0, -1.0, 1.0, 1.0};
inline constexpr double kHexZeta[8] = {-1.0, -1.0, -1.0, -1.0, 1.0, 1.0, 1.0, 1.0};

[[gnu::always_inline]] inline Solid hex8_node(double xi, double eta, double zeta, int32_t i) {
    const double a = kHexXi[i - 1], b = kHexEta[i - 1], c = kHexZeta[i - 1];
    const double fx = 1.0 + xi * a, fy = 1.0 + eta * b, fz = 1.0 + zeta * c;
    return {fx * fy * fz / 8.0, a * fy * fz / 8.0, b * fx * fz / 8.0, c * fx * fy / 8.0,
            a * b * fz / 8.0,   a * c * fy / 8.0,  b * c * fx / 8.0};
}

// A bad argument: code -2 with the routine's text, and the result 0.0.
inline double refuse(std::string_view message) {
    record_error(-2, message);
    return 0.0;
}

// The pair (first, second) of natural coordinates 1 (xi) or 2 (eta) as a second derivative.
inline double plane_second(const Plane &v, int32_t first, int32_t second) {
    if (first != second) return v.dxieta;
    return first == 1 ? v.dxixi : v.detaeta;
}

}  // namespace kestro::elements

extern "C" {

inline double Truss3SF(const double *xi, const int32_t *inode) {
    const double x = *xi;
    switch (*inode) {
        case 1:
            return x * (x - 1.0) / 2.0;
        case 2:
            return 1.0 - x * x;
        case 3:
            return x * (x + 1.0) / 2.0;
        default:
            return kestro::elements::refuse("Warning: Overflow in Truss3SF.");
    }
}

inline double Truss3FirstDerivSF(const double *xi, const int32_t *inode) {
    const double x = *xi;
    switch (*inode) {
        case 1:
            return x - 0.5;
        case 2:
            return -2.0 * x;
        case 3:
            return x + 0.5;
        default:
            return kestro::elements::refuse("Warning: Overflow in Truss3FirstDerivSF.");
    }
}

inline double Tria6SF(const double *xi, const double *eta, const int32_t *inode) {
    if (*inode < 1 || *inode > 6) return kestro::elements::refuse("Warning: Overflow in Tria6SF.");
    return kestro::elements::tria6_node(*xi, *eta, *inode).n;
}

inline double Tria6FirstDerivSF(const double *xi, const double *eta, const int32_t *inode, const int32_t *idvar) {
    using namespace kestro::elements;
    if (*idvar != 1 && *idvar != 2) return refuse("Warning: Invalid ordinal in Tria6FirstDerivSF.");
    if (*inode < 1 || *inode > 6)
        return refuse(*idvar == 1 ? "Warning: Overflow in Tria6.Xi." : "Warning: Overflow in Tria6.Eta.");
    const Plane v = tria6_node(*xi, *eta, *inode);
    return *idvar == 1 ? v.dxi : v.deta;
}

inline double Tria6SecondDerivSF(const double *xi, const double *eta, const int32_t *inode, const int32_t *idvar,
                                 const int32_t *iidvar) {
    using namespace kestro::elements;
    if (*idvar != 1 && *idvar != 2) return refuse("Warning: Invalid 1st ordinal in Tria6");
    if (*iidvar != 1 && *iidvar != 2) return refuse("Warning: Invalid 2nd ordinal in Tria6.");
    if (*inode < 1 || *inode > 6) {
        static constexpr const char *texts[2][2] = {
            {"Overflow in Tria6.XiXi.", "Warning: Overflow in Tria6.XiEta."},
            {"Warning: Overflow in Tria6.EtaXi.", "Warning: Overflow in Tria6.EtaEta."}};
        return refuse(texts[*idvar - 1][*iidvar - 1]);
    }
    return plane_second(tria6_node(*xi, *eta, *inode), *idvar, *iidvar);
}

inline double Quad4SF(const double *xi, const double *eta, const int32_t *inode) {
    if (*inode < 1 || *inode > 4) return kestro::elements::refuse("Warning: Overflow in Quad4SF.");
    return kestro::elements::quad4_node(*xi, *eta, *inode).n;
}

inline double Quad4FirstDerivSF(const double *xi, const double *eta, const int32_t *inode, const int32_t *idvar) {
    using namespace kestro::elements;
    if (*idvar != 1 && *idvar != 2) return refuse("Warning: Invalid 1st ordinal in Quad4FirstDerivSF.");
    if (*inode < 1 || *inode > 4)
        return refuse(*idvar == 1 ? "Warning: Overflow in Quad4FirstDerivSF.Xi."
                                  : "Warning: Overflow in Quad4FirstDerivSF.Eta.");
    const Plane v = quad4_node(*xi, *eta, *inode);
    return *idvar == 1 ? v.dxi : v.deta;
}

inline double Quad8SF(const double *xi, const double *eta, const int32_t *inode) {
    if (*inode < 1 || *inode > 8) return kestro::elements::refuse("Warning: Overflow in Quad8SF.");
    return kestro::elements::quad8_node(*xi, *eta, *inode).n;
}

inline double Quad8FirstDerivSF(const double *xi, const double *eta, const int32_t *inode, const int32_t *idvar) {
    using namespace kestro::elements;
    if (*idvar != 1 && *idvar != 2) return refuse("Warning: Invalid 1st ordinal in Quad8FirstDerivSF.");
    if (*inode < 1 || *inode > 8)
        return refuse(*idvar == 1 ? "Warning: Overflow in Quad8FirstDerivSF.Xi."
                                  : "Warning: Overflow in Quad8FirstDerivSF.Eta.");
    const Plane v = quad8_node(*xi, *eta, *inode);
    return *idvar == 1 ? v.dxi : v.deta;
}

inline double Quad8SecondDerivSF(const double *xi, const double *eta, const int32_t *inode, const int32_t *idvar,
                                 const int32_t *iidvar) {
    using namespace kestro::elements;
    if (*idvar != 1 && *idvar != 2) return refuse("Warning: Invalid 1st ordinal in Quad8SecondDerivSF");
    if (*iidvar != 1 && *iidvar != 2) return refuse("Warning: Invalid ordinal in Quad8SecondDerivSF.");
    if (*inode < 1 || *inode > 8) {
        static constexpr const char *texts[2][2] = {
            {"Warning: Overflow in Quad8SecondDerivSF.XiXi.", "Warning: Overflow in Quad8SecondDerivSF.XiEta."},
            {"Warning: Overflow in Quad8SecondDerivSF.EtaXi.", "Warning: Overflow in Quad8SecondDerivSF.EtaEta."}};
        return refuse(texts[*idvar - 1][*iidvar - 1]);
    }
    return plane_second(quad8_node(*xi, *eta, *inode), *idvar, *iidvar);
}

inline double Hex8SF(const double *xi, const double *eta, const double *zeta, const int32_t *inode) {
    if (*inode < 1 || *inode > 8) return kestro::elements::refuse("Warning: Overflow in Hex8SF.");
    return kestro::elements::hex8_node(*xi, *eta, *zeta, *inode).n;
}

inline double Hex8FirstDerivSF(const double *xi, const double *eta, const double *zeta, const int32_t *inode,
                               const int32_t *idvar) {
    using namespace kestro::elements;
    if (*idvar < 1 || *idvar > 3) return refuse("Warning: Invalid 1st ordinal in Hex8FirstDerivSF.");
    if (*inode < 1 || *inode > 8) {
        static constexpr const char *texts[3] = {"Warning: Overflow in Hex8FirstDerivSF.Xi.",
                                                 "Warning: Overflow in Hex8FirstDerivSF.Eta.",
                                                 "Warning: Overflow in Hex8FirstDerivSF.Zeta."};
        return refuse(texts[*idvar - 1]);
    }
    const Solid v = hex8_node(*xi, *eta, *zeta, *inode);
    return *idvar == 1 ? v.dxi : *idvar == 2 ? v.deta : v.dzeta;
}

inline double Hex8SecondDerivSF(const double *xi, const double *eta, const double *zeta, const int32_t *inode,
                                const int32_t *idvar, const int32_t *iidvar) {
    using namespace kestro::elements;
    if (*idvar < 1 || *idvar > 3) return refuse("Warning: Invalid 1st ordinal in Hex8SecondDerivSF");
    if (*iidvar < 1 || *iidvar > 3) return refuse("Warning: Invalid 2nd ordinal in Hex8SecondDerivSF.");
    if (*inode < 1 || *inode > 8) {
        static constexpr const char *texts[3][3] = {
            {"Warning: Overflow in Hex8SecondDerivSF.XiXi.", "Warning: Overflow in Hex8SecondDerivSF.XiEta.",
             "Warning: Overflow in Hex8SecondDerivSF.XiZeta."},
            {"Warning: Overflow in Hex8SecondDerivSF.EtaXi.", "Warning: Overflow in Hex8SecondDerivSF.EtaEta.",
             "Warning: Overflow in Hex8SecondDerivSF.EtaZeta."},
            {"Warning: Overflow in Hex8SecondDerivSF.ZetaXi.", "Warning: Overflow in Hex8SecondDerivSF.ZetaEta.",
             "Warning: Overflow in Hex8SecondDerivSF.ZetaZeta."}};
        return refuse(texts[*idvar - 1][*iidvar - 1]);
    }
    if (*idvar == *iidvar) return 0.0;
    const Solid v = hex8_node(*xi, *eta, *zeta, *inode);
    const int32_t pair = *idvar + *iidvar;  // 3: xi eta, 4: xi zeta, 5: eta zeta
    return pair == 3 ? v.dxieta : pair == 4 ? v.dxizeta : v.detazeta;
}

// The tables: row i for node i, columns as the module documents.
inline void Tria6ShapeFunMatrix(double *nshape, const double *xi, const double *eta) {
    const double x = *xi, y = *eta;  // read once: nshape may overlap them
    KESTRO_EACH_NODE
    for (int32_t i = 1; i <= 6; ++i) {
        const kestro::elements::Plane v = kestro::elements::tria6_node(x, y, i);
        const double row[6] = {v.n, v.dxi, v.deta, v.dxixi, v.detaeta, v.dxieta};
        for (int c = 0; c < 6; ++c) nshape[c * 6 + i - 1] = row[c];
    }
}

inline void Quad8ShapeFunMatrix(double *nshape, const double *xi, const double *eta) {
    const double x = *xi, y = *eta;  // read once: nshape may overlap them
    KESTRO_EACH_NODE
    for (int32_t i = 1; i <= 8; ++i) {
        const kestro::elements::Plane v = kestro::elements::quad8_node(x, y, i);
        const double row[6] = {v.n, v.dxi, v.deta, v.dxixi, v.detaeta, v.dxieta};
        for (int c = 0; c < 6; ++c) nshape[c * 8 + i - 1] = row[c];
    }
}

inline void Quad4ShapeFunMatrix(double *nshape, const double *xi, const double *eta) {
    const double x = *xi, y = *eta;  // read once: nshape may overlap them
    KESTRO_EACH_NODE
    for (int32_t i = 1; i <= 4; ++i) {
        const kestro::elements::Plane v = kestro::elements::quad4_node(x, y, i);
        nshape[i - 1] = v.n;
        nshape[4 + i - 1] = v.dxi;
        nshape[8 + i - 1] = v.deta;
    }
}

inline void Hex8ShapeFunMatrix(double *nshape, const double *xi, const double *eta, const double *zeta) {
    const double x = *xi, y = *eta, z = *zeta;
    KESTRO_EACH_NODE
    for (int32_t i = 1; i <= 8; ++i) {
        const kestro::elements::Solid v = kestro::elements::hex8_node(x, y, z, i);
        const double row[9] = {v.n, v.dxi, v.deta, v.dzeta, 0.0, 0.0, 0.0, v.dxieta, v.dxizeta};
        for (int c = 0; c < 9; ++c) nshape[c * 8 + i - 1] = row[c];
    }
}

}  // extern "C"
