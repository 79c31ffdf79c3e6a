// The Edit Data menu: note, focal length, aperture and the units they are held in.
#include "console_fixture.hpp"
#include "text/numtext.hpp"

namespace qtx::test {
namespace {

using OpticsTest = ConsoleTest;

TEST_F(OpticsTest, NoteIsKeptUnlessTheAnswerIsEmpty) {
    host.promptAnswers = {"8 inch SCT, site 3", ""};
    console.mnunote_Click();
    console.mnunote_Click();
    EXPECT_EQ(host.prompts.at(0).defaultText, "Enter configuration and observer info here!");
    EXPECT_EQ(pcTexts(), std::vector<std::string>{"8 inch SCT, site 3"});
    EXPECT_EQ(console.record.imagenote, "8 inch SCT, site 3");
}

// The prompt offers the value held; an empty answer keeps it and says nothing.
TEST_F(OpticsTest, FocalLengthAndApertureDiameter) {
    const struct {
        bool focal, cm, flag;
        const char* answer;
        float value, area;  // focal length or diameter; the area derived from a diameter
        const char* offered;
        const char* text;
    } cases[] = {
        {true, false, false, "8.5 in", 8.5F, 0, " 12.5", "Focal length =  8.5 inches"},
        {true, true, false, "", 8.5F, 0, " 8.5", ""},
        {false, false, false, "10", 10.0F, 76.969009F, " 0", "Aperture diameter =  10 inches"},
        {false, false, true, "10", 10.0F, 56.734364F, " 10", "Aperture diameter =  10 inches"},
        {false, true, false, "25.4", 25.4F, 496.57F, " 10",
         "Aperture diameter =  25.4 centimeters"},
        // An empty answer keeps the diameter but still derives the area from it.
        {false, true, true, "", 25.4F, 366.0274F, " 25.4", ""},
    };
    console.record.focallength = 12.5F;
    for (const auto& c : cases) {
        console.optics.unitscm = c.cm;
        console.optics.apertureflag = c.flag;
        console.record.aperturearea = 0;
        host.texts.clear();
        host.promptAnswers = {c.answer};
        c.focal ? console.mnufocallength_Click() : console.mnuaperturedia_Click();
        EXPECT_EQ(host.prompts.back().defaultText, c.offered);
        EXPECT_FLOAT_EQ(c.focal ? console.record.focallength : console.record.aperturediameter,
                        c.value);
        EXPECT_NEAR(console.record.aperturearea, c.area, 0.01F);
        EXPECT_EQ(host.texts.empty() ? "" : host.text(TextBox::PCtext), c.text);
    }
}

TEST_F(OpticsTest, UnitSwitchConvertsAllThreeOnce) {
    auto& r = console.record;
    const auto optics = [&] {
        return numberText(r.focallength) + numberText(r.aperturediameter) +
               numberText(r.aperturearea) + (console.optics.unitscm ? " cm" : " in");
    };
    r.focallength = 100.0F;
    r.aperturediameter = 10.0F;
    r.aperturearea = 76.969009F;
    console.mnucentimeters_Click();
    console.mnucentimeters_Click();
    EXPECT_EQ(optics(), " 254 25.4 496.5733 cm");
    console.mnuinches_Click();
    EXPECT_EQ(optics(), " 100 10 76.96901 in");
}

}  // namespace
}  // namespace qtx::test
