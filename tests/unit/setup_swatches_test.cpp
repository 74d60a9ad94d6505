// The settings dialog's colour swatches: a picked colour lands on the swatch, in the settings file and
// on every element of the main window's graph it belongs to, and nowhere else.
#include <gtest/gtest.h>

#include "setup/setup.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

constexpr Colour kPicked = rgb(0x12, 0x34, 0x56);

struct SetupSwatches : ::testing::Test {
    test::TestMonitor m;
    SetupForm form = setup::makeSetupForm();

    SetupSwatches() {
        setup::Form_Load(m.ctx, form);
        m.desktop.pickedColour = kPicked;
    }
    std::int32_t onDisk(const char* column) {
        SettingsRow row;
        row.open(m.folder.path());
        return row.int32(column);
    }
    /// Colour properties of the main window that hold the picked colour.
    int recoloured() {
        int n = 0;
        for (auto& t : m.form.tgt) n += (t.backColour == kPicked) + (t.foreColour == kPicked);
        for (auto& l : m.form.lbl) n += l.foreColour == kPicked;
        for (auto& l : m.form.lne) n += l.colour == kPicked;
        for (auto& b : m.form.bar) n += b.colour == kPicked;
        return n;
    }
};

TEST_F(SetupSwatches, EachSwatchRecoloursItsOwnElements) {
    const struct {
        int swatch;
        const char* column;
        int elements;
    } swatches[] = {{kAlarmLineColourSwatch, "warnlinecolor", 1},
                    {kDoseColourSwatch, "linecolor", 80 + 7 + 5 + 1},
                    {kBarColourSwatch, "graphcolor", 2 * 82 + 11 + 5}};
    int total = 0;
    for (const auto& s : swatches) {
        setup::Label1_Click(m.ctx, form, s.swatch);
        EXPECT_EQ(form.Label1[s.swatch].backColour, kPicked);
        EXPECT_EQ(onDisk(s.column), static_cast<std::int32_t>(kPicked));
        total += s.elements;
        EXPECT_EQ(recoloured(), total) << s.column;
    }
    EXPECT_EQ(m.form.lne[kAlarmLine].colour, kPicked);
    EXPECT_EQ(m.form.tgt[82].foreColour, kPicked);  // the peak-dose marker goes with the dose graph
    EXPECT_EQ(m.form.lbl[17].foreColour, kPicked);
    EXPECT_EQ(m.form.lne[12].colour, kPicked);
    EXPECT_EQ(m.form.tgt[81].backColour, kPicked);  // the peak bar goes with the bars
    EXPECT_EQ(m.form.lbl[10].foreColour, kPicked);

    SetupForm next = setup::makeSetupForm();  // and the next opening shows it
    setup::Form_Load(m.ctx, next);
    EXPECT_EQ(next.Label1[kDoseColourSwatch].backColour, kPicked);
}

TEST_F(SetupSwatches, ACancelACaptionOrADisabledSwatchChangesNothing) {
    m.desktop.pickedColour.reset();
    setup::Label1_Click(m.ctx, form, kBarColourSwatch);
    m.desktop.pickedColour = kPicked;
    for (int i : {0, 1, 2, 3, 5, 8, 9, 10}) setup::Label1_Click(m.ctx, form, i);
    setup::setCheck(m.ctx, form, kWarningBox, false);
    setup::Label1_Click(m.ctx, form, kAlarmLineColourSwatch);
    EXPECT_EQ(m.desktop.pickerOpened, 1);  // for the cancelled pick only
    EXPECT_EQ(recoloured(), 0);
    for (const LabelControl& label : form.Label1) EXPECT_NE(label.backColour, kPicked);
    EXPECT_EQ(onDisk("graphcolor"), 0xC08000);
    EXPECT_EQ(onDisk("warnlinecolor"), 0x0000FF);
}

TEST_F(SetupSwatches, AFailureEndsTheClickKeepingWhatWasDone) {
    m.settings.close();
    setup::Label1_Click(m.ctx, form, kDoseColourSwatch);
    EXPECT_EQ(form.Label1[kDoseColourSwatch].backColour, kPicked);
    EXPECT_EQ(recoloured(), 0);
}

}  // namespace
}  // namespace rx47
