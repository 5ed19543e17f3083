// Bounds applied to remembered values when they are read.
#include "app/SettingsRules.h"

#include <gtest/gtest.h>

#include <climits>

using namespace glyptor;

TEST(SettingsRules, IntegersParseOrFallBack) {
    EXPECT_EQ(ParseSettingInteger("42", 30), 42);
    EXPECT_EQ(ParseSettingInteger("-7", 30), -7);
    EXPECT_EQ(ParseSettingInteger("abc", 30), 30);
    EXPECT_EQ(ParseSettingInteger("", 30), 30);
    EXPECT_EQ(ParseSettingInteger("12x", 30), 30);
    EXPECT_EQ(ParseSettingInteger("99999999999", 30), 30);
}

TEST(SettingsRules, CacheBounds) {
    auto check = [](int max, int min, int wantMax, int wantMin) {
        const CacheBounds bounds = AdjustCacheBounds(max, min);
        EXPECT_EQ(bounds.maxCash, wantMax) << max << "/" << min;
        EXPECT_EQ(bounds.minCash, wantMin) << max << "/" << min;
    };
    check(3000, 2000, 3000, 2000);
    check(700, 100, 800, 500);
    check(2600, 2500, 2800, 2500);
    check(2800, 2500, 2800, 2500);
    check(INT_MIN, INT_MAX, INT_MAX, INT_MAX); // no overflow at the extremes
}

TEST(SettingsRules, WindowBounds) {
    // Empty store on a large screen: the defaults.
    WindowBounds bounds = FitWindowBounds({}, 1920, 1080);
    EXPECT_EQ(bounds.top, 30);
    EXPECT_EQ(bounds.left, 30);
    EXPECT_EQ(bounds.width, 600);
    EXPECT_EQ(bounds.height, 400);
    // 900 + 600 on a 1024-wide screen: 104, then the minimum width rule gives 370.
    bounds = FitWindowBounds({30, 900, 400, 600}, 1024, 768);
    EXPECT_EQ(bounds.left, 900);
    EXPECT_EQ(bounds.width, 370);
    // Beyond the right edge: pulled back to 30.
    bounds = FitWindowBounds({30, 2000, 400, 600}, 1024, 768);
    EXPECT_EQ(bounds.left, 30);
    EXPECT_EQ(bounds.width, 600);
    // A top equal to the screen height and negative positions stay.
    bounds = FitWindowBounds({768, -50, 400, 600}, 1024, 768);
    EXPECT_EQ(bounds.top, 768);
    EXPECT_EQ(bounds.left, -50);
    // A small screen shrinks the default window.
    bounds = FitWindowBounds({}, 620, 420);
    EXPECT_EQ(bounds.width, 570);
    EXPECT_EQ(bounds.height, 370);
    EXPECT_EQ(LimitWidth(299), 370);
    EXPECT_EQ(LimitWidth(300), 300);
    EXPECT_EQ(LimitHeight(99), 100);
}
