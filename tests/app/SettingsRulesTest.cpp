// Bounds applied to remembered values when they are read, and the write of the settings file.
#include "app/SettingsRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

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

// The settings write keeps what it cannot understand: an old file it cannot parse survives as
// Glyptor.conf.bad beside the new one, and a readable one's other sections are carried over.
TEST(WriteSettingsFile, KeepsOtherSectionsAndDamagedFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Glyptor.conf");
    const auto write = [&path](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };

    write("[Drives]\nD=/mnt/windows\n");
    WriteSettingsFile(path, {{"WinTop", "77"}});
    {
        QSettings store(path, QSettings::IniFormat);
        EXPECT_EQ(store.value("WinTop").toString(), "77");
        EXPECT_EQ(store.value("Drives/D").toString(), "/mnt/windows");
    }
    EXPECT_FALSE(QFileInfo::exists(path + ".bad"));

    const QByteArray damaged("[Drives]\nD=/mnt/windows\n[General\nWinTop=1\n");
    write(damaged);
    WriteSettingsFile(path, {{"WinTop", "78"}});
    QFile bad(path + ".bad");
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), damaged);
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value("WinTop").toString(), "78");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}
