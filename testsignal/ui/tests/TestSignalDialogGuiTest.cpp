// The Test Signal dialog offscreen: its fields show the impairments in force,
// OK with a value out of range tells why and stays open, All Off empties it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/TestSupport.h"
#include "testsignal/ui/TestSignalDialog.h"

namespace ringlark::ui {
namespace {

TEST(TestSignalDialog, ShowsTakesAndRefusesValues) {
    test::TRecordingErrors errors;
    TestSignalDialog dialog(errors);
    TTestSignalSettings fields;
    ASSERT_EQ(dialog.valueBoxes.size(), fields.Fields.size());
    EXPECT_EQ(dialog.valueBoxes[1]->placeholderText().toStdString(), "off (-20 to 20)");
    TImpairments m;
    m.TwistDb = -6;
    m.TelephoneBand = true;
    dialog.Load(m);
    EXPECT_EQ(dialog.valueBoxes[1]->text().toStdString(), "-6");
    EXPECT_EQ(dialog.valueBoxes[0]->text().toStdString(), "");
    EXPECT_TRUE(dialog.bandBox->isChecked());

    dialog.valueBoxes[0]->setText("-95");
    dialog.show();
    dialog.accept();
    EXPECT_EQ(errors.Errors, (std::vector<std::string>{"Level (dBFS): '-95' is out of range: "
                                                       "-90 to 0"}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.valueBoxes[0]->setText("-30");
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const TImpairments taken = dialog.Taken();
    EXPECT_EQ(taken.LevelDbfs, -30);
    EXPECT_EQ(taken.TwistDb, -6);
    EXPECT_TRUE(taken.TelephoneBand);

    QTest::mouseClick(dialog.allOffButton, Qt::LeftButton);
    EXPECT_EQ(dialog.valueBoxes[1]->text().toStdString(), "");
    EXPECT_FALSE(dialog.bandBox->isChecked());
    EXPECT_FALSE(dialog.Taken().Any());
}

}  // namespace
}  // namespace ringlark::ui
