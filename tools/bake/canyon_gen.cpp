// Canyon terrain and its mesh.
//
// The terrain is a height function: the plateau, lowered along the centre
// line (a figure of eight with meanders), along short side gullies and in a
// round basin where the two arms cross; buttes stand in the basin. Walls
// follow a terraced profile (talus, cliff, ledge, cliff, rim), so the strata
// texture's bands line up with real ledges.
//
// The mesh samples that function on a 257 x 257 grid and keeps only the
// cells it needs: a quadtree splits where two triangles would miss the
// terrain by more than a tolerance, neighbours differ by at most one level,
// and a cell next to finer ones is fanned from its centre through their
// edge midpoints, so no crack or T-junction opens. Where the border
// between wall and floor (or rim) crosses a triangle, the triangle is cut
// along it, so that border is a smooth line rather than a sawtooth.
#include "bake/canyon_gen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "bake/noise.h"

namespace bake {

namespace {

constexpr double kTwoPi = 6.283185307179586;

double Len(Vec2 a) { return std::sqrt(a.x * a.x + a.y * a.y); }

// Terraced wall profile: 0 at the foot, 1 at the rim. Each stretch eases in
// and out (zero slope at every knot), so the foot meets the floor in a curve,
// the rim rounds over instead of ending in a crease, and the ledge between
// the two cliffs is a real shelf. A crease on a 160-unit grid is what shows
// as a zigzag; a curve does not.
double WallProfile(double t)
{
    struct Knot {
        double t, h;
    };
    static const Knot knots[] = {{0.0, 0.0}, {0.40, 0.48}, {0.54, 0.53}, {0.90, 0.97}, {1.0, 1.0}};
    if (t <= 0)
        return 0;
    if (t >= 1)
        return 1;
    for (size_t i = 1; i < std::size(knots); ++i)
        if (t <= knots[i].t) {
            const double f = (t - knots[i - 1].t) / (knots[i].t - knots[i - 1].t);
            return knots[i - 1].h + (knots[i].h - knots[i - 1].h) * f * f * (3 - 2 * f);
        }
    return 1;
}

struct NearestOnLine {
    double distance = 1e30;
    size_t segment = 0;
    double fraction = 0;
};

// Nearest point of a polyline (closed when `loop`), pruned by chunk boxes.
NearestOnLine Nearest(const CanyonLine& line, bool loop, double x, double y)
{
    NearestOnLine best;
    const size_t n = line.points.size();
    const size_t segments = loop ? n : n - 1;
    constexpr size_t kChunk = 32;
    for (size_t c0 = 0; c0 < segments; c0 += kChunk) {
        const size_t c1 = std::min(segments, c0 + kChunk);
        double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
        for (size_t i = c0; i <= c1 && i < n + (loop ? 1 : 0); ++i) {
            const Vec2& p = line.points[i % n];
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        const double dx = std::max({minX - x, 0.0, x - maxX}), dy = std::max({minY - y, 0.0, y - maxY});
        if (dx * dx + dy * dy >= best.distance * best.distance)
            continue;
        for (size_t i = c0; i < c1; ++i) {
            const Vec2& a = line.points[i];
            const Vec2& b = line.points[(i + 1) % n];
            const double ex = b.x - a.x, ey = b.y - a.y;
            const double len2 = ex * ex + ey * ey;
            double f = len2 > 0 ? ((x - a.x) * ex + (y - a.y) * ey) / len2 : 0;
            f = std::clamp(f, 0.0, 1.0);
            const double px = a.x + ex * f - x, py = a.y + ey * f - y;
            const double d = std::sqrt(px * px + py * py);
            if (d < best.distance) {
                best.distance = d;
                best.segment = i;
                best.fraction = f;
            }
        }
    }
    return best;
}

double Interp(const std::vector<double>& values, const NearestOnLine& n)
{
    const double a = values[n.segment];
    const double b = values[(n.segment + 1) % values.size()];
    return a + (b - a) * n.fraction;
}

void FinishLine(CanyonLine& line, bool loop)
{
    line.arc.assign(line.points.size(), 0);
    for (size_t i = 1; i < line.points.size(); ++i)
        line.arc[i] = line.arc[i - 1] + Len({line.points[i].x - line.points[i - 1].x,
                                             line.points[i].y - line.points[i - 1].y});
    line.length = line.arc.back();
    if (loop)
        line.length += Len({line.points.front().x - line.points.back().x, line.points.front().y - line.points.back().y});
}

// The figure of eight: a Gerono lemniscate with meanders that fade out at
// the crossing (so both arms meet at the basin's centre), resampled to even
// arc-length spacing. Its far bends stay on the plateau, at the foot of the
// ranges rather than cut into them, so from there too the view over the
// rims has room to reach past the fog start.
CanyonLine MakeMainLine()
{
    const double A = 9000, B = 16500;
    const size_t dense = 16384;
    std::vector<Vec2> raw(dense);
    for (size_t i = 0; i < dense; ++i) {
        const double th = kTwoPi * double(i) / double(dense);
        Vec2 p{A * std::sin(th), 0.5 * B * std::sin(2 * th)};
        Vec2 t{A * std::cos(th), B * std::cos(2 * th)};
        const double tl = Len(t);
        const Vec2 nrm{-t.y / tl, t.x / tl};
        const double s = std::sin(th);
        const double fade = std::min(1.0, 3.0 * s * s);
        // Gentle bends only: long straight reaches let the view run on into
        // the haze.
        const double m = fade * (520 * std::sin(5 * th + 0.7) + 160 * std::sin(11 * th + 2.1));
        raw[i] = {p.x + nrm.x * m, p.y + nrm.y * m};
    }
    std::vector<double> arc(dense + 1, 0);
    for (size_t i = 1; i <= dense; ++i) {
        const Vec2& a = raw[i - 1];
        const Vec2& b = raw[i % dense];
        arc[i] = arc[i - 1] + Len({b.x - a.x, b.y - a.y});
    }
    const double total = arc[dense];
    CanyonLine line;
    const size_t count = 2400;
    size_t j = 0;
    for (size_t i = 0; i < count; ++i) {
        const double target = total * double(i) / double(count);
        while (arc[j + 1] < target)
            ++j;
        const double f = (target - arc[j]) / (arc[j + 1] - arc[j]);
        const Vec2& a = raw[j];
        const Vec2& b = raw[(j + 1) % dense];
        line.points.push_back({a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f});
        const double phi = kTwoPi * double(i) / double(count);
        line.halfWidth.push_back(950 + 170 * std::sin(7 * phi + 1.0) + 90 * std::sin(13 * phi + 2.5));
        line.floorZ.push_back(70 * std::sin(3 * phi) + 35 * std::sin(8 * phi + 1.0));
    }
    FinishLine(line, true);
    return line;
}

}  // namespace

CanyonLayout MakeCanyonLayout()
{
    CanyonLayout layout;
    layout.line = MakeMainLine();
    layout.plateauZ = 1750;
    layout.basinCentre = {0, 0};
    layout.basinRadius = 6500;
    // Buttes stand between the arms, clear of the pterodactyl's circles in
    // the basin's southern half.
    layout.buttes = {{{5600, 1700}, 420, 1350}, {{-5600, 1950}, 380, 1200}, {{0, 5100}, 300, 900},
                     {{330, -5500}, 340, 1050}, {{4500, -4200}, 220, 700}, {{-4500, -4300}, 260, 800},
                     // Low outcrops break up the basin's sand.
                     {{2900, 3200}, 250, 520}, {{-2900, 3300}, 230, 480}, {{5800, -2200}, 260, 600},
                     {{-5900, -1900}, 240, 550}};

    // Side gullies: short dead-end branches leaving the walls, each kept
    // only if its end stays clear of every other part of the canyon.
    Rng rng(2024);
    const CanyonLine& main = layout.line;
    const size_t n = main.points.size();
    for (int g = 0; g < 26 && layout.gullies.size() < 7; ++g) {
        const size_t at = size_t(rng.Int(0, int32_t(n) - 1));
        const Vec2 p = main.points[at];
        if (Len(p) < 8000)
            continue;
        const Vec2 q = main.points[(at + 1) % n];
        Vec2 t{q.x - p.x, q.y - p.y};
        const double tl = Len(t);
        t = {t.x / tl, t.y / tl};
        const double side = rng.Uniform() < 0.5 ? -1 : 1;
        const double angle = rng.Range(-0.6, 0.6);
        Vec2 dir{-t.y * side, t.x * side};
        dir = {dir.x * std::cos(angle) - dir.y * std::sin(angle), dir.x * std::sin(angle) + dir.y * std::cos(angle)};
        const double length = rng.Range(2200, 3600);
        const double bend = rng.Range(-0.5, 0.5);
        CanyonLine gully;
        bool clear = true;
        for (int k = 0; k <= 24; ++k) {
            const double f = double(k) / 24;
            const double a = bend * f;
            const Vec2 d{dir.x * std::cos(a) - dir.y * std::sin(a), dir.x * std::sin(a) + dir.y * std::cos(a)};
            const Vec2 prev = gully.points.empty() ? p : gully.points.back();
            const Vec2 pt = k == 0 ? p : Vec2{prev.x + d.x * length / 24, prev.y + d.y * length / 24};
            gully.points.push_back(pt);
            gully.halfWidth.push_back(Lerp(float(main.halfWidth[at] * 0.55), 110.0f, float(f)));
            gully.floorZ.push_back(main.floorZ[at] + 950 * std::pow(f, 1.6));
            if (f > 0.35) {
                const NearestOnLine nl = Nearest(main, true, pt.x, pt.y);
                if (nl.distance < 0.7 * f * length)
                    clear = false;
                for (const CanyonLine& other : layout.gullies)
                    if (Nearest(other, false, pt.x, pt.y).distance < 1600)
                        clear = false;
            }
            if (std::fabs(pt.x) > kCanyonHalfExtent - 1500 || std::fabs(pt.y) > kCanyonHalfExtent - 1500)
                clear = false;
        }
        if (!clear)
            continue;
        FinishLine(gully, false);
        layout.gullies.push_back(std::move(gully));
    }
    return layout;
}

double CanyonHeight(const CanyonLayout& layout, double x, double y)
{
    double plateau = layout.plateauZ + 200 * Fbm(float(x / 9000), float(y / 9000), 0, 3, 0.5f, 11) +
                     40 * Fbm(float(x / 2500), float(y / 2500), 0, 2, 0.5f, 12);
    // Ranges rise beyond the canyon country, far enough that the fog grades
    // them and high enough (7,000 to 12,000 units over the plateau) to stand
    // over the rims from the basin and from the arms wherever the flight
    // rises to rim height: over the flat plateau alone the view reaches past
    // the fog start only in a sliver along the horizon. Their crests are
    // rounded, so their outline against the sky stays smooth even where
    // their mesh is coarse; they also hide the terrain's edge.
    const double out = std::hypot(x / 15500, y / 14000);
    if (out > 0.72) {
        const double ridge = std::clamp(0.5 + 0.8 * Fbm(float(x / 7000), float(y / 7000), 0, 2, 0.5f, 19), 0.0, 1.0);
        const double rise = std::clamp((out - 0.72) / 0.45, 0.0, 1.0);
        plateau += (7000 + 5000 * ridge) * rise * rise * (3 - 2 * rise);
    }
    // Alcoves: the wall line only ever moves outward from the floor's edge,
    // so the floor keeps its full width for the flight.
    const double alcove = 170 * std::fabs(Fbm(float(x / 1700), float(y / 1700), 0, 3, 0.5f, 13));
    const double wallWidth = 600 + 120 * Fbm(float(x / 7000), float(y / 7000), 0, 2, 0.5f, 14);
    const double rubble = 22 * Fbm(float(x / 600), float(y / 600), 0, 2, 0.5f, 15);

    auto carve = [&](double d, double halfWidth, double floorZ, double width) {
        const double e = d - alcove - halfWidth;
        if (e <= 0)
            return floorZ + rubble;
        return floorZ + (plateau - floorZ) * WallProfile(e / width);
    };

    const NearestOnLine nm = Nearest(layout.line, true, x, y);
    double h = carve(nm.distance, Interp(layout.line.halfWidth, nm), Interp(layout.line.floorZ, nm), wallWidth);
    for (const CanyonLine& g : layout.gullies) {
        const Vec2 mouth = g.points.front();
        if (std::fabs(x - mouth.x) > g.length + 2500 || std::fabs(y - mouth.y) > g.length + 2500)
            continue;
        const NearestOnLine ng = Nearest(g, false, x, y);
        // Past the head the gully closes in a rounded end.
        h = std::min(h, carve(ng.distance, Interp(g.halfWidth, ng), Interp(g.floorZ, ng), wallWidth * 0.6));
    }
    const double bx = x - layout.basinCentre.x, by = y - layout.basinCentre.y;
    const double r = std::sqrt(bx * bx + by * by);
    const double basinR = layout.basinRadius + 300 * Fbm(float(x / 2200), float(y / 2200), 0, 2, 0.5f, 16);
    double basinFloor = 0;
    if (r < basinR) {
        // Low benches of harder rock stand on the basin's sand, left where
        // the arms' floors wore it away; they keep clear of the arms' lines
        // and the basin's rim.
        const double bench = Fbm(float(x / 2600), float(y / 2600), 0, 3, 0.5f, 20);
        const double clearOfArms = std::clamp((nm.distance - Interp(layout.line.halfWidth, nm) - 200) / 500, 0.0, 1.0);
        const double clearOfRim = std::clamp((basinR - 600 - r) / 600, 0.0, 1.0);
        const double step = std::clamp((bench - 0.12) / 0.12, 0.0, 1.0);
        basinFloor = 520 * step * step * (3 - 2 * step) * clearOfArms * clearOfRim;
    }
    h = std::min(h, carve(std::max(0.0, r - basinR) + alcove, 0.0, basinFloor, wallWidth));
    h = std::min(h, plateau);

    for (const Butte& b : layout.buttes) {
        const double dx = x - b.centre.x, dy = y - b.centre.y;
        const double rr = std::sqrt(dx * dx + dy * dy) + 60 * Fbm(float(x / 500), float(y / 500), 0, 2, 0.5f, 17);
        if (rr > b.radius + 500)
            continue;
        const double top = b.height + 40 * Fbm(float(x / 400), float(y / 400), 0, 2, 0.5f, 18);
        const double butte = rr <= b.radius ? top : top * (1 - WallProfile((rr - b.radius) / 500));
        h = std::max(h, butte);
    }
    return h;
}

// ------------------------------------------------------------------ mesh
namespace {

constexpr int32_t N = kCanyonGridCells;  // cells per side
constexpr int32_t P = N + 1;             // grid points per side
constexpr int32_t kMaxLeaf = 8;          // 1280 units
constexpr double kTolerance = 85.0;
constexpr double kFarTolerance = 350.0;

// Out among the ranges, beyond the canyon country: seen only from afar,
// through haze.
bool Far(double x, double y) { return std::hypot(x / 15500, y / 14000) > 0.80; }

struct Leaf {
    int32_t x, y, size;
};

class QuadMesher {
public:
    QuadMesher(const CanyonLayout& layout) : m_layout(layout), m_h(size_t(P) * P), m_leafOf(size_t(N) * N, -1) {}

    CanyonMesh Run();

private:
    double H(int32_t gx, int32_t gy) const { return m_h[size_t(gy) * P + size_t(gx)]; }
    double Wx(int32_t g) const { return double(g) * kCanyonCellSize - kCanyonHalfExtent; }
    double DiagonalError(int32_t x, int32_t y, int32_t s, bool mainDiagonal) const;
    void Refine(int32_t x, int32_t y, int32_t s);
    void AddLeaf(int32_t x, int32_t y, int32_t s);
    void Split(size_t leaf);
    bool Balance();
    bool FinerAcross(const Leaf& l, int edge) const;
    void Triangulate(const Leaf& l, std::vector<std::array<int32_t, 3>>& tris) const;

    const CanyonLayout& m_layout;
    std::vector<double> m_h;
    std::vector<Leaf> m_leaves;
    std::vector<int32_t> m_leafOf;  // per finest cell: index into m_leaves
};

// Largest miss of the two triangles of a cell, split along the main
// diagonal ((x, y) to (x + s, y + s)) or the other one.
double QuadMesher::DiagonalError(int32_t x, int32_t y, int32_t s, bool mainDiagonal) const
{
    const double h00 = H(x, y), h10 = H(x + s, y), h01 = H(x, y + s), h11 = H(x + s, y + s);
    double worst = 0;
    for (int32_t j = 0; j <= s; ++j)
        for (int32_t i = 0; i <= s; ++i) {
            const double u = double(i) / s, v = double(j) / s;
            double p;
            if (mainDiagonal)
                p = u >= v ? h00 + (h10 - h00) * u + (h11 - h10) * v : h00 + (h01 - h00) * v + (h11 - h01) * u;
            else
                p = u + v <= 1 ? h00 + (h10 - h00) * u + (h01 - h00) * v
                               : h11 + (h01 - h11) * (1 - u) + (h10 - h11) * (1 - v);
            worst = std::max(worst, std::fabs(p - H(x + i, y + j)));
        }
    return worst;
}

void QuadMesher::AddLeaf(int32_t x, int32_t y, int32_t s)
{
    const int32_t index = int32_t(m_leaves.size());
    m_leaves.push_back({x, y, s});
    for (int32_t j = 0; j < s; ++j)
        for (int32_t i = 0; i < s; ++i)
            m_leafOf[size_t(y + j) * N + size_t(x + i)] = index;
}

void QuadMesher::Refine(int32_t x, int32_t y, int32_t s)
{
    const double cx = Wx(x) + s * kCanyonCellSize / 2, cy = Wx(y) + s * kCanyonCellSize / 2;
    const double tolerance = Far(cx, cy) ? kFarTolerance : kTolerance;
    const bool split = s > kMaxLeaf ||
                       (s > 1 && std::min(DiagonalError(x, y, s, true), DiagonalError(x, y, s, false)) > tolerance);
    if (!split) {
        AddLeaf(x, y, s);
        return;
    }
    const int32_t h = s / 2;
    Refine(x, y, h);
    Refine(x + h, y, h);
    Refine(x, y + h, h);
    Refine(x + h, y + h, h);
}

void QuadMesher::Split(size_t leaf)
{
    const Leaf l = m_leaves[leaf];
    const int32_t h = l.size / 2;
    // The first child takes over the slot; the cell map is rewritten for all.
    m_leaves[leaf] = {l.x, l.y, h};
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < h; ++i)
            m_leafOf[size_t(l.y + j) * N + size_t(l.x + i)] = int32_t(leaf);
    AddLeaf(l.x + h, l.y, h);
    AddLeaf(l.x, l.y + h, h);
    AddLeaf(l.x + h, l.y + h, h);
}

// One pass of 2:1 balancing; true when something was split.
bool QuadMesher::Balance()
{
    bool changed = false;
    for (size_t li = 0; li < m_leaves.size(); ++li) {
        const Leaf l = m_leaves[li];
        if (l.size < 4)
            continue;
        bool needs = false;
        for (int32_t k = 0; k < l.size && !needs; ++k) {
            const int32_t probes[4][2] = {{l.x + k, l.y - 1}, {l.x + k, l.y + l.size}, {l.x - 1, l.y + k}, {l.x + l.size, l.y + k}};
            for (const auto& p : probes) {
                if (p[0] < 0 || p[1] < 0 || p[0] >= N || p[1] >= N)
                    continue;
                if (m_leaves[size_t(m_leafOf[size_t(p[1]) * N + size_t(p[0])])].size * 2 < l.size)
                    needs = true;
            }
        }
        if (needs) {
            Split(li);
            changed = true;
        }
    }
    return changed;
}

// Edges: 0 bottom (y), 1 right (x + s), 2 top (y + s), 3 left (x).
bool QuadMesher::FinerAcross(const Leaf& l, int edge) const
{
    int32_t px = 0, py = 0;
    const int32_t mid = l.size / 2;
    switch (edge) {
    case 0: px = l.x + mid; py = l.y - 1; break;
    case 1: px = l.x + l.size; py = l.y + mid; break;
    case 2: px = l.x + mid; py = l.y + l.size; break;
    default: px = l.x - 1; py = l.y + mid; break;
    }
    if (px < 0 || py < 0 || px >= N || py >= N)
        return false;
    return m_leaves[size_t(m_leafOf[size_t(py) * N + size_t(px)])].size < l.size;
}

void QuadMesher::Triangulate(const Leaf& l, std::vector<std::array<int32_t, 3>>& tris) const
{
    auto id = [](int32_t gx, int32_t gy) { return gy * P + gx; };
    const int32_t x0 = l.x, y0 = l.y, x1 = l.x + l.size, y1 = l.y + l.size, s = l.size;
    bool finer[4] = {false, false, false, false};
    bool any = false;
    if (s > 1)
        for (int e = 0; e < 4; ++e)
            any |= finer[e] = FinerAcross(l, e);
    if (!any) {
        bool mainDiagonal;
        if (s > 1) {
            mainDiagonal = DiagonalError(x0, y0, s, true) <= DiagonalError(x0, y0, s, false);
        } else {
            const double centre = CanyonHeight(m_layout, Wx(x0) + kCanyonCellSize / 2, Wx(y0) + kCanyonCellSize / 2);
            mainDiagonal = std::fabs((H(x0, y0) + H(x1, y1)) / 2 - centre) <= std::fabs((H(x1, y0) + H(x0, y1)) / 2 - centre);
        }
        if (mainDiagonal) {
            tris.push_back({id(x0, y0), id(x1, y0), id(x1, y1)});
            tris.push_back({id(x0, y0), id(x1, y1), id(x0, y1)});
        } else {
            tris.push_back({id(x0, y0), id(x1, y0), id(x0, y1)});
            tris.push_back({id(x1, y0), id(x1, y1), id(x0, y1)});
        }
        return;
    }
    // Counter-clockwise ring seen from above, with the midpoints of edges
    // whose neighbours are finer.
    const int32_t m = s / 2;
    std::vector<int32_t> ring;
    ring.push_back(id(x0, y0));
    if (finer[0])
        ring.push_back(id(x0 + m, y0));
    ring.push_back(id(x1, y0));
    if (finer[1])
        ring.push_back(id(x1, y0 + m));
    ring.push_back(id(x1, y1));
    if (finer[2])
        ring.push_back(id(x0 + m, y1));
    ring.push_back(id(x0, y1));
    if (finer[3])
        ring.push_back(id(x0, y0 + m));
    const int32_t centre = id(x0 + m, y0 + m);
    for (size_t i = 0; i < ring.size(); ++i)
        tris.push_back({centre, ring[i], ring[(i + 1) % ring.size()]});
}

CanyonMesh QuadMesher::Run()
{
    for (int32_t gy = 0; gy < P; ++gy)
        for (int32_t gx = 0; gx < P; ++gx)
            m_h[size_t(gy) * P + size_t(gx)] = CanyonHeight(m_layout, Wx(gx), Wx(gy));
    // One pass of a 1-2-1 filter each way: rims and wall feet that the
    // height function bends within less than a cell would otherwise land
    // on the grid as lone spikes and stair-steps; spread over two cells
    // they read as rounded edges.
    std::vector<double> tmp(m_h.size());
    for (int pass = 0; pass < 2; ++pass) {
        const int32_t dx = pass == 0 ? 1 : 0, dy = pass == 0 ? 0 : P;
        for (int32_t gy = 0; gy < P; ++gy)
            for (int32_t gx = 0; gx < P; ++gx) {
                const size_t i = size_t(gy) * P + size_t(gx);
                const bool edge = pass == 0 ? (gx == 0 || gx == P - 1) : (gy == 0 || gy == P - 1);
                tmp[i] = edge ? m_h[i] : (m_h[i - size_t(dx + dy)] + 2 * m_h[i] + m_h[i + size_t(dx + dy)]) / 4;
            }
        m_h.swap(tmp);
    }
    for (double& h : m_h)
        h = std::round(h);
    Refine(0, 0, N);
    while (Balance()) {
    }
    std::vector<std::array<int32_t, 3>> tris;
    for (const Leaf& l : m_leaves)
        Triangulate(l, tris);

    // Materials: sand on the low flat floor, rock on flat ground above it,
    // strata on the walls. Deciding that per triangle would leave the border
    // where the triangles happen to lie, a sawtooth one cell deep along
    // every wall foot and rim. Instead the slope is taken per grid point
    // (the smoothed normal) and every triangle that it crosses is cut along
    // the level where the slope reaches the walls' threshold, so the border
    // runs as a smooth line across the cells.
    // The slope at a grid point from its neighbours' heights: the same
    // wherever the quadtree put coarse or fine cells.
    std::vector<vmath::Vec3> gridNormal(size_t(P) * P);
    for (int32_t gy = 0; gy < P; ++gy)
        for (int32_t gx = 0; gx < P; ++gx) {
            const int32_t x0 = std::max(gx - 1, 0), x1 = std::min(gx + 1, P - 1);
            const int32_t y0 = std::max(gy - 1, 0), y1 = std::min(gy + 1, P - 1);
            const vmath::Vec3 n{float(-(H(x1, gy) - H(x0, gy)) / ((x1 - x0) * kCanyonCellSize)),
                                float(-(H(gx, y1) - H(gx, y0)) / ((y1 - y0) * kCanyonCellSize)), 1.0f};
            gridNormal[size_t(gy) * P + size_t(gx)] = n * (1.0f / vmath::Length(n));
        }
    auto position = [&](int32_t g) {
        const int32_t gx = g % P, gy = g / P;
        return vmath::Vec3{float(Wx(gx)), float(Wx(gy)), float(H(gx, gy))};
    };
    constexpr float kWallSlope = 0.80f;  // normal z below this is wall
    // Among the ranges every slope counts as wall: their faces are large,
    // and cutting them along each change of slope would cost thousands of
    // faces for borders seen only through haze.
    auto flatness = [&](int32_t g) {
        const vmath::Vec3 p = position(g);
        return Far(p.x, p.y) ? -1.0f : gridNormal[size_t(g)].z - kWallSlope;
    };

    // A mesh corner is a grid point (key >= 0) or the point where the border
    // crosses the edge between two grid points (key < 0). The same edge
    // gives the same point to both triangles that share it, so no crack.
    struct Corner {
        int64_t key;
        vmath::Vec3 p, n;
    };
    auto gridCorner = [&](int32_t g) { return Corner{g, position(g), gridNormal[size_t(g)]}; };
    auto edgeCorner = [&](int32_t a, int32_t b) {
        if (a > b)
            std::swap(a, b);
        const float fa = flatness(a), fb = flatness(b);
        // Kept off the grid points, so no sliver of a face is left over.
        const float f = std::clamp(fa / (fa - fb), 0.15f, 0.85f);
        vmath::Vec3 p = position(a) + (position(b) - position(a)) * f;
        p = {std::round(p.x), std::round(p.y), std::round(p.z)};
        const vmath::Vec3 n = gridNormal[size_t(a)] * (1 - f) + gridNormal[size_t(b)] * f;
        return Corner{-1 - (int64_t(a) * P * P + b), p, n * (1.0f / std::max(1e-6f, vmath::Length(n)))};
    };

    CanyonMesh mesh;
    std::map<std::pair<int64_t, int32_t>, int32_t> vertexOf;  // (corner, mapping) -> vertex
    auto vertex = [&](const Corner& c, int32_t mapping) {
        auto it = vertexOf.find({c.key, mapping});
        if (it != vertexOf.end())
            return it->second;
        const int32_t index = int32_t(mesh.positions.size());
        vertexOf.emplace(std::make_pair(c.key, mapping), index);
        mesh.positions.push_back(c.p);
        mesh.normals.push_back(c.n);
        // Planar for floor and rock; the wall mappings run u along x or y
        // and v with height, so the strata's bands stay level.
        if (mapping == 0) {
            mesh.u.push_back(c.p.x / 1000.0f);
            mesh.v.push_back(c.p.y / 1000.0f);
        } else {
            mesh.u.push_back((mapping == 1 ? c.p.x : c.p.y) / 1400.0f);
            mesh.v.push_back(c.p.z / 1400.0f);
        }
        return index;
    };
    // One convex piece of a triangle, all of it on one side of the border.
    auto emit = [&](const std::vector<Corner>& piece, bool wall) {
        for (size_t k = 1; k + 1 < piece.size(); ++k) {
            const Corner* c[3] = {&piece[0], &piece[k], &piece[k + 1]};
            const vmath::Vec3 n = vmath::Cross(c[1]->p - c[0]->p, c[2]->p - c[0]->p);
            if (vmath::Length(n) <= 0)
                continue;
            const float meanZ = (c[0]->p.z + c[1]->p.z + c[2]->p.z) / 3;
            MeshFace face;
            int32_t mapping = 0;
            if (wall) {
                face.shader = kShaderStrata;
                mapping = std::fabs(n.y) >= std::fabs(n.x) ? 1 : 2;
            } else {
                face.shader = meanZ < 320 ? kShaderGround : kShaderRock;
            }
            face.a = vertex(*c[0], mapping);
            face.b = vertex(*c[1], mapping);
            face.c = vertex(*c[2], mapping);
            mesh.faces.push_back(face);
        }
    };
    std::vector<Corner> flat, steep;
    for (const auto& t : tris) {
        flat.clear();
        steep.clear();
        for (int k = 0; k < 3; ++k) {
            const int32_t a = t[size_t(k)], b = t[size_t((k + 1) % 3)];
            const bool aFlat = flatness(a) >= 0, bFlat = flatness(b) >= 0;
            (aFlat ? flat : steep).push_back(gridCorner(a));
            if (aFlat != bFlat) {
                const Corner cut = edgeCorner(a, b);
                flat.push_back(cut);
                steep.push_back(cut);
            }
        }
        if (flat.size() >= 3)
            emit(flat, false);
        if (steep.size() >= 3)
            emit(steep, true);
    }
    return mesh;
}

}  // namespace

CanyonMesh MakeCanyonMesh(const CanyonLayout& layout)
{
    QuadMesher mesher(layout);
    return mesher.Run();
}

std::string WriteCanyonText(const CanyonMesh& mesh, const std::vector<std::pair<int32_t, int32_t>>& patches)
{
    std::string out;
    out.reserve(mesh.faces.size() * 40 + mesh.positions.size() * 80);
    char line[256];
    out += "shaders\n{\n0 textures/1.jpg\n1 textures/2.jpg\n2 textures/12.jpg\n}\n";
    out += "shadows\n{\n0 shadows/shadow.tga\n}\n";
    out += "faces\n{\n";
    for (const MeshFace& f : mesh.faces) {
        std::snprintf(line, sizeof line, "%d %d %d %d\n", f.a, f.b, f.c, f.shader);
        out += line;
    }
    out += "}\nshadowfaces\n{\n";
    for (const auto& p : patches) {
        std::snprintf(line, sizeof line, "%d %d 0\n", p.first, p.second);
        out += line;
    }
    out += "}\nvertices\n{\n";
    for (size_t i = 0; i < mesh.positions.size(); ++i) {
        const vmath::Vec3& p = mesh.positions[i];
        const vmath::Vec3& n = mesh.normals[i];
        std::snprintf(line, sizeof line, "%d %d %d %.4f %.4f %.4f %.4f %.4f -1\n", int(p.x), int(p.y), int(p.z),
                      double(n.x), double(n.y), double(n.z), double(mesh.u[i]), double(mesh.v[i]));
        out += line;
    }
    out += "}\n";
    return out;
}

}  // namespace bake
