// The main window as designed: the plot geometry, and a right-hand column whose controls sit inside
// their panels without covering one another.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/main_form.h"

namespace rx47 {
namespace {

struct Placed {
    std::string name;
    Geometry g;
};

bool inside(const Geometry& inner, const Geometry& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.left + inner.width <= outer.left + outer.width &&
           inner.top + inner.height <= outer.top + outer.height;
}

bool overlap(const Geometry& a, const Geometry& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

/// Every control with a face, by name; option buttons are placed by their frames.
std::vector<Placed> controlsOf(const MainForm& f) {
    std::vector<Placed> all;
    const auto add = [&](const std::string& array, const auto& controls) {
        for (std::size_t i = 0; i < controls.size(); ++i)
            all.push_back({array + "(" + std::to_string(i) + ")", controls[i].geometry});
    };
    add("Label", f.Label);
    add("lbl", f.lbl);
    add("tme", f.tme);
    add("tgt", f.tgt);
    add("cmd", f.cmd);
    add("Combo1", f.Combo1);
    add("Frame", f.Frame);
    add("Image1", f.Image1);
    return all;
}

TEST(MainFormDesign, TheClientAreaHoldsEveryControl) {
    const MainForm f = makeMainForm();
    const Geometry client{0, 0, f.clientWidth, f.clientHeight};
    EXPECT_EQ(f.clientWidth, 12780);
    EXPECT_EQ(f.clientHeight, 7260);
    for (const Placed& c : controlsOf(f)) {
        EXPECT_TRUE(inside(c.g, client)) << c.name;
        EXPECT_GT(c.g.width, 0) << c.name;
    }
    for (const ShapeControl& s : f.Shape1) EXPECT_TRUE(inside(s.geometry, client));
}

TEST(MainFormDesign, ThePanelControlsLieInTheirPanelsAndDoNotOverlap) {
    const MainForm f = makeMainForm();
    const Geometry panels[] = {f.Shape1[0].geometry, f.Shape1[4].geometry, f.Shape1[1].geometry};
    for (const Geometry& p : panels) {
        EXPECT_EQ(p.left, 9600);
        EXPECT_EQ(p.width, 2895);
    }
    EXPECT_EQ(panels[0].top, 240);
    EXPECT_EQ(panels[1].top, 1680);
    EXPECT_EQ(panels[2].top, 4440);
    EXPECT_FALSE(overlap(panels[0], panels[1]));
    EXPECT_FALSE(overlap(panels[1], panels[2]));

    std::vector<Placed> column;
    for (const Placed& c : controlsOf(f))
        if (c.g.left >= 9600 && c.name != "Image1(0)") column.push_back(c);
    ASSERT_GT(column.size(), 40u);
    for (const Placed& c : column) {
        bool inAPanel = false;
        for (const Geometry& p : panels) inAPanel = inAPanel || inside(c.g, p);
        EXPECT_TRUE(inAPanel) << c.name;
    }
    for (std::size_t i = 0; i < column.size(); ++i)
        for (std::size_t j = i + 1; j < column.size(); ++j)
            EXPECT_FALSE(overlap(column[i].g, column[j].g)) << column[i].name << " / " << column[j].name;

    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(inside(f.Option1[k].geometry, f.Frame[0].geometry)) << k;
        EXPECT_TRUE(inside(f.Option2[k].geometry, f.Frame[1].geometry)) << k;
    }
    EXPECT_FALSE(overlap(f.Option1[0].geometry, f.Option1[1].geometry));
    EXPECT_FALSE(overlap(f.Option2[0].geometry, f.Option2[1].geometry));
    EXPECT_FALSE(overlap(f.Image1[0].geometry, panels[2]));
}

TEST(MainFormDesign, ThePlotGeometry) {
    const MainForm f = makeMainForm();
    for (int i = 0; i <= 80; ++i) {
        EXPECT_EQ(f.tgt[i].geometry.left, 1020 + 90 * i) << i;
        EXPECT_EQ(f.tgt[i].geometry.width, 75) << i;
    }
    EXPECT_EQ(f.tgt[80].geometry.left + f.tgt[80].geometry.width, 8295);
    EXPECT_EQ(f.tgt[81].geometry.left, 855);
    EXPECT_EQ(f.tgt[82].geometry.left, 840);
    EXPECT_EQ(f.tgt[82].geometry.width, 135);
    EXPECT_EQ(f.tgt[82].geometry.height, 180);
    for (int i = 0; i < 80; ++i) {
        EXPECT_EQ(f.bar[i].x1, 1065 + 90 * i) << i;
        EXPECT_EQ(f.bar[i].x2, 1155 + 90 * i) << i;
        EXPECT_EQ(f.bar[i].width, 2) << i;
    }
    EXPECT_EQ(f.lne[1].y1, 6600);
    EXPECT_EQ(f.lne[1].x2, 9360);
    EXPECT_EQ(f.lne[6].y1, 600);
    EXPECT_EQ(f.lne[kAlarmLine].width, 2);
    EXPECT_FALSE(f.lne[kAlarmLine].dotted);
    const int doseGrid[] = {5580, 4590, 3585, 2580, 1590};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.lne[8 + i].y1, doseGrid[i]);
        EXPECT_TRUE(f.lne[8 + i].dotted);
    }
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(f.lbl[i].geometry.top, 5895 - 600 * (i - 1)) << i;
        EXPECT_EQ(f.lbl[i].align, Align::Right) << i;
        EXPECT_LE(f.lbl[i].geometry.left + f.lbl[i].geometry.width, 720) << i;
    }
    const int doseTops[] = {5475, 4485, 3480, 2475, 1485, 480};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.lbl[11 + i].geometry.top, doseTops[i]);
    for (const LabelControl& t : f.tme) {
        EXPECT_EQ(t.geometry.top, 6840);
        EXPECT_EQ(t.geometry.width, 480);
        EXPECT_FALSE(t.visible);
    }
    EXPECT_EQ(f.Image1[0].geometry.left, 10455);
    EXPECT_EQ(f.Image1[0].geometry.top, 6810);
    EXPECT_EQ(f.Image1[0].geometry.width, 2070);
    EXPECT_EQ(f.Image1[1].geometry.width, 180);
    EXPECT_EQ(f.Image1[1].geometry.height, 165);
    // The alarm banner's text lies on its red box at the top of the plot.
    EXPECT_TRUE(inside(f.Label[kAlarmBanner].geometry, f.Shape1[2].geometry));
    EXPECT_EQ(f.Label[kAlarmBanner].font.points, 12);
    EXPECT_EQ(f.Label[kStatusMessage].font.points, 15.75);
    EXPECT_EQ(f.lbl[1].font.points, 9.75);
    EXPECT_TRUE(f.lbl[1].font.bold);
}

}  // namespace
}  // namespace rx47
