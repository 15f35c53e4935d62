#include <zem/core.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

namespace {

TEST(MathTest, ToleranceIsStrictOnBothSides) {
    EXPECT_TRUE(ZEM::Equalf(1.0f, 1.00005f, 0.0001f));
    EXPECT_TRUE(ZEM::Equalf(1.00005f, 1.0f, 0.0001f));
    EXPECT_FALSE(ZEM::Equalf(1.0f, 1.001f, 0.0001f));
    EXPECT_FALSE(ZEM::Equalf(1.001f, 1.0f, 0.0001f));
    EXPECT_FALSE(ZEM::Equalf(2.5f, 2.5f, 0.0f));
    EXPECT_TRUE(ZEM::Equald(1.0, 1.0 + 1e-12, 1e-9));
    EXPECT_FALSE(ZEM::Equald(1.0, 1.5, 0.5));
    EXPECT_FALSE(ZEM::Equald(3.0, 3.0, 0.0));
}

TEST(MathTest, AnglesAreBroughtIntoTheCircle) {
    struct Case {
        float in, out;
    } cases[] = {{-30, 330},       {720, 360},  {360, 360},         {0, 0},
                 {-720, 0},        {45, 45},    {365, 5},           {36360, 360},
                 {36720.5f, 0.5f}, {-36360, 0}, {-36000.5f, 359.5f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(ZEM::Angle2PI(c.in), c.out) << c.in;
    // Far outside the circle the result is still an angle, and the call returns.
    float far = ZEM::Angle2PI(1e10f);
    EXPECT_GE(far, 0.0f);
    EXPECT_LE(far, 360.0f);
    far = ZEM::Angle2PI(-3e12f);
    EXPECT_GE(far, 0.0f);
    EXPECT_LE(far, 360.0f);
}

TEST(MathTest, AngleDifferenceTakesTheShortWay) {
    EXPECT_FLOAT_EQ(ZEM::AngleDiff(350, 10), 20);
    EXPECT_FLOAT_EQ(ZEM::AngleDiff(10, 350), -20);
    EXPECT_FLOAT_EQ(ZEM::AngleDiff(0, 180), 180);
    EXPECT_FLOAT_EQ(ZEM::AngleDiff(90, 45), -45);
}

TEST(MathTest, VectorAngleCoversEveryQuadrant) {
    struct Case {
        float x1, y1, x2, y2, angle;
    } cases[] = {
        {0, 0, 0, 5, 90},
        {0, 0, 0, -5, 270},
        {0, 0, -5, 0, 180},
        {0, 0, 5, 0, 0},
        {0, 0, 1, -1, 315},
        {0, 0, 1, 1, 45},
        {0, 0, -1, 1, 135},
        {0, 0, -1, -1, 225},
        {2, 3, 2, 3, 90},
        {1, 1, 1.00005f, 4, 90},
        {5, 5, 5 + 1.7320508f, 6, 30},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(ZEM::VectorAngle(c.x1, c.y1, c.x2, c.y2), c.angle, 1e-3)
            << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2;
    }
}

ZEMRect Rect(int x, int y, int w, int h) {
    return ZEMRect{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<uint16_t>(w),
                   static_cast<uint16_t>(h)};
}

void ExpectRect(const ZEMRect& r, int x, int y, int w, int h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.w, w);
    EXPECT_EQ(r.h, h);
}

TEST(RectTest, TouchingRectanglesDoNotIntersect) {
    ZEMRect a = Rect(0, 0, 10, 10), b = Rect(10, 0, 5, 5);
    EXPECT_FALSE(a.IsIntersect(b));
    EXPECT_FALSE(b.IsIntersect(a));
    EXPECT_EQ(a.Intersection(b).w, 0);
    ExpectRect(a.Union(b), 0, 0, 15, 10);
}

TEST(RectTest, OverlapAndContainment) {
    ZEMRect a = Rect(-5, -5, 10, 10), b = Rect(2, 3, 10, 10);
    EXPECT_TRUE(a.IsIntersect(b));
    ExpectRect(a.Intersection(b), 2, 3, 3, 2);
    ExpectRect(a.Union(b), -5, -5, 17, 18);
    ZEMRect inner = Rect(1, 1, 2, 2);
    ExpectRect(a.Intersection(inner), 1, 1, 2, 2);
    a.Intersect(b);
    ExpectRect(a, 2, 3, 3, 2);
    // Far apart: the common part is empty in both directions.
    ZEMRect far = Rect(100, 100, 5, 5);
    ExpectRect(b.Intersection(far), 100, 100, 0, 0);
    EXPECT_FALSE(b.IsIntersect(far));
    // A one-pixel overlap counts.
    EXPECT_TRUE(Rect(0, 0, 10, 10).IsIntersect(Rect(9, 9, 10, 10)));
}

TEST(RectTest, EmptyRectangleCornerTakesPartInUnion) {
    ExpectRect(Rect(10, 10, 5, 5).Union(Rect(0, 0, 0, 0)), 0, 0, 15, 15);
    EXPECT_FALSE(Rect(0, 0, 0, 10).IsIntersect(Rect(0, 0, 10, 10)));
}

TEST(RectTest, EdgesBeyondSixteenBitsDoNotWrap) {
    // 32000 + 1000 is past the 16-bit range; the computation must not wrap to a negative edge.
    ZEMRect a = Rect(32000, 0, 1000, 10), b = Rect(32500, 0, 100, 10);
    EXPECT_TRUE(a.IsIntersect(b));
    ExpectRect(a.Intersection(b), 32500, 0, 100, 10);
}

TEST(GeometryTest, TextOutput) {
    std::ostringstream out;
    out << ZEMPoint{3, -4} << ' ' << Rect(1, 2, 30, 40) << ' ' << Rect(-1, 0, 65535, 2) << ' '
        << ZEMVec3{1.5f, -2.0f, 0.25f};
    EXPECT_EQ(out.str(), "(3, -4) (1, 2) 30 x 40 (-1, 0) 65535 x 2 (1.5, -2, 0.25)");
    std::ostringstream fixed;
    fixed.setf(std::ios::fixed);
    fixed.precision(2);
    fixed << ZEMVec3{1.0f, 2.5f, -0.125f};
    EXPECT_EQ(fixed.str(), "(1.00, 2.50, -0.12)");
}

std::vector<unsigned> Draws(int n) {
    std::vector<unsigned> values;
    for (int i = 0; i < n; ++i)
        values.push_back(ZEM::Randomi());
    return values;
}

TEST(RandomTest, KnownSequence) {
    ZEM::RandomInit(1);
    EXPECT_EQ(ZEM::Randomi(), 16838u);
    EXPECT_EQ(ZEM::Randomi(), 5758u);
    EXPECT_EQ(ZEM::Randomi(), 10113u);
    ZEM::RandomInit(1);
    EXPECT_EQ(Draws(3), (std::vector<unsigned>{16838, 5758, 10113}));
}

TEST(RandomTest, ScaledFormsStayInRange) {
    ZEM::RandomInit(12345);
    for (int i = 0; i < 20000; ++i) {
        EXPECT_EQ(ZEM::Randomi(1), 0u);
        EXPECT_LT(ZEM::Randomi(7), 7u);
        EXPECT_LT(ZEM::Randomi(0xFFFFFFFFu), 0xFFFFFFFFu);
        EXPECT_EQ(ZEM::Randomi(0), 0u);
        float f = ZEM::Randomf();
        ASSERT_GE(f, 0.0f);
        ASSERT_LT(f, 1.0f);
        float g = ZEM::Randomf(10.0f);
        ASSERT_GE(g, 0.0f);
        ASSERT_LT(g, 10.0f);
    }
}

TEST(RandomTest, ScalingIsExact) {
    // Randomi(n) is (r * n) >> 15 on the same raw draw r.
    for (unsigned n : {3u, 100u, 32768u, 1000000u, 0xFFFFFFFFu}) {
        ZEM::RandomInit(99);
        unsigned r = ZEM::Randomi();
        ZEM::RandomInit(99);
        EXPECT_EQ(ZEM::Randomi(n), static_cast<unsigned>((static_cast<uint64_t>(r) * n) >> 15));
        ZEM::RandomInit(99);
        EXPECT_FLOAT_EQ(ZEM::Randomf(), r / 32768.0f);
    }
}

TEST(RandomTest, EveryThreadStartsAtOneAndKeepsItsOwnState) {
    ZEM::RandomInit(777);
    std::vector<unsigned> main = Draws(2);
    std::vector<unsigned> fresh, seeded;
    std::thread a([&] { fresh = Draws(3); });
    a.join();
    EXPECT_EQ(fresh, (std::vector<unsigned>{16838, 5758, 10113}));
    std::thread b([&] {
        ZEM::RandomInit(5);
        seeded = Draws(2);
    });
    b.join();
    // The main thread goes on where it was, untouched by the other threads.
    std::vector<unsigned> more = Draws(1);
    ZEM::RandomInit(777);
    std::vector<unsigned> expected = Draws(3);
    EXPECT_EQ(main[0], expected[0]);
    EXPECT_EQ(more[0], expected[2]);
    ZEM::RandomInit(5);
    EXPECT_EQ(seeded, Draws(2));
}

TEST(RandomTest, SeedZeroUsesTheCurrentTime) {
    using namespace std::chrono;
    long long before = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    ZEM::RandomInit(0);
    std::vector<unsigned> got = Draws(4);
    bool matched = false;
    for (long long t = before - 1; t <= before + 2 && !matched; ++t) {
        ZEM::RandomInit(static_cast<unsigned>(t));
        matched = Draws(4) == got;
    }
    EXPECT_TRUE(matched);
}

} // namespace
