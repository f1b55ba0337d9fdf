// The settings store and the conversions of stored texts.
#include "shell/settingsstore.h"

#include "report/zentavoerror.h"

#include <gtest/gtest.h>
#include <QSettings>
#include <QTemporaryDir>

namespace zentavo::test {

TEST(SettingsStore, MissingKeysGiveTheDefaultAsTextAndWritesAreKeptWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QStringList writes;
    {
        SettingsStore store;
        store.setWriteObserver(
            [&](const QString& key, const QString& value) { writes << key + "=" + value; });
        EXPECT_EQ(store.GetSetting("Option1", 1), "1");
        EXPECT_EQ(store.GetSetting("Degrees", -90), "-90");
        EXPECT_EQ(store.GetSetting("LastFolder", QString()), "");
        store.SaveSetting("Text1", "/srv/out/");
        store.SaveSetting("Extension", " jpg ");
    }
    EXPECT_EQ(writes, (QStringList{"Text1=/srv/out/", "Extension= jpg "}));
    // A second store, as the next start of the program, reads what the first wrote.
    SettingsStore later;
    EXPECT_EQ(later.GetSetting("Text1", "x"), "/srv/out/");
    EXPECT_EQ(later.GetSetting("Extension", "jpg"), " jpg ");
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, "Corvanta", "Zentavo");
    EXPECT_EQ(raw.value("Text1").toString(), "/srv/out/");
}

struct BooleanCase {
    const char* text;
    int expected;  // 1 true, 0 false, -1 a conversion error
};

class BooleanSetting : public ::testing::TestWithParam<BooleanCase> {};

TEST_P(BooleanSetting, ConvertsWordsAndNumbersAndRefusesTheRest) {
    const BooleanCase c = GetParam();
    if (c.expected < 0) {
        EXPECT_THROW(settingToBoolean(QString::fromUtf8(c.text)), ZentavoError) << c.text;
    } else {
        EXPECT_EQ(settingToBoolean(QString::fromUtf8(c.text)), c.expected == 1) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BooleanSetting,
    ::testing::Values(BooleanCase{"True", 1}, BooleanCase{"tRUE", 1}, BooleanCase{"False", 0},
                      BooleanCase{"FALSE", 0}, BooleanCase{"1", 1}, BooleanCase{"-1", 1},
                      BooleanCase{"0", 0}, BooleanCase{"0.5", 1}, BooleanCase{" True ", 1},
                      BooleanCase{"Yes", -1}, BooleanCase{"", -1}, BooleanCase{"1x", -1},
                      BooleanCase{"nan", -1}, BooleanCase{"inf", -1}, BooleanCase{"-inf", -1}));

TEST(SettingToInt32, ConvertsDecimalTextAndReportsOverflowAndLetters) {
    EXPECT_EQ(settingToInt32("85"), 85);
    EXPECT_EQ(settingToInt32(" 40 "), 40);
    EXPECT_EQ(settingToInt32("-7"), -7);
    EXPECT_EQ(settingToInt32("2.5"), 2);
    EXPECT_EQ(settingToInt32("3.5"), 4);
    EXPECT_EQ(settingToInt32("2147483647"), 2147483647);
    EXPECT_EQ(settingToInt32("-2147483648"), -2147483647 - 1);
    try {
        settingToInt32("forty");
        FAIL() << "letters converted";
    } catch (const ZentavoError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::TypeMismatch);
    }
    for (const char* beyond : {"2147483648", "-2147483649", "3000000000"}) {
        try {
            settingToInt32(beyond);
            FAIL() << "overflow not reported for " << beyond;
        } catch (const ZentavoError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::Overflow);
        }
    }
    EXPECT_EQ(settingText(true), "True");
    EXPECT_EQ(settingText(false), "False");
}

}  // namespace zentavo::test
