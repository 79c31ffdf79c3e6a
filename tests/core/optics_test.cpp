// The Edit Data menu: note, focal length, aperture and the units they are held in.
#include "console_fixture.hpp"

namespace qtx::test {
namespace {

using OpticsTest = ConsoleTest;

TEST_F(OpticsTest, NoteIsKeptUnlessTheAnswerIsEmpty) {
    host.promptAnswers = {"8 inch SCT, site 3", ""};
    console.mnunote_Click();
    ASSERT_EQ(host.prompts.size(), 1U);
    EXPECT_EQ(host.prompts[0].defaultText, "Enter configuration and observer info here!");
    EXPECT_EQ(console.record.imagenote, "8 inch SCT, site 3");
    EXPECT_EQ(host.text(TextBox::PCtext), "8 inch SCT, site 3");
    host.texts.clear();
    console.mnunote_Click();
    EXPECT_EQ(console.record.imagenote, "8 inch SCT, site 3");
    EXPECT_TRUE(host.texts.empty());
}

// The answer is read leniently; the prompt offers the value held, an empty answer keeps it.
TEST_F(OpticsTest, FocalLengthAndApertureDiameter) {
    const struct {
        void (Console::*click)();
        bool cm, flag;
        const char* answer;
        float value, area;  // focal length or diameter; the area derived from a diameter
        const char* offered;
        const char* text;
    } cases[] = {
        {&Console::mnufocallength_Click, false, false, "8.5 in", 8.5F, 0, " 12.5",
         "Focal length =  8.5 inches"},
        {&Console::mnufocallength_Click, false, false, "inches", 0.0F, 0, " 8.5",
         "Focal length =  0 inches"},
        {&Console::mnufocallength_Click, true, false, " 203.2", 203.2F, 0, " 0",
         "Focal length =  203.2 centimeters"},
        {&Console::mnufocallength_Click, true, false, "-12.5", -12.5F, 0, " 203.2",
         "Focal length = -12.5 centimeters"},
        {&Console::mnufocallength_Click, true, false, "", -12.5F, 0, "-12.5",
         "Focal length = -12.5 centimeters"},
        {&Console::mnuaperturedia_Click, false, false, "10", 10.0F, 76.969009F, " 0",
         "Aperture diameter =  10 inches"},
        {&Console::mnuaperturedia_Click, false, true, "10", 10.0F, 56.734364F, " 10",
         "Aperture diameter =  10 inches"},
        {&Console::mnuaperturedia_Click, true, false, "25.4", 25.4F, 496.57F, " 10",
         "Aperture diameter =  25.4 centimeters"},
        // An empty answer keeps the diameter but still derives the area from it.
        {&Console::mnuaperturedia_Click, true, true, "", 25.4F, 366.0274F, " 25.4",
         "Aperture diameter =  25.4 centimeters"},
    };
    console.record.focallength = 12.5F;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        console.optics.unitscm = c.cm;
        console.optics.apertureflag = c.flag;
        console.record.aperturearea = 0;
        host.texts.clear();
        host.promptAnswers = {c.answer};
        (console.*c.click)();
        const bool focal = c.click == &Console::mnufocallength_Click;
        EXPECT_EQ(host.prompts.back().prompt,
                  std::string(focal ? "Input focal length in " : "Input aperture diameter in ") +
                      (c.cm ? (focal ? "centimeters" : " centimeters") : "inches"));
        EXPECT_EQ(host.prompts.back().defaultText, c.offered);
        EXPECT_FLOAT_EQ(focal ? console.record.focallength : console.record.aperturediameter,
                        c.value);
        if (!focal) {
            EXPECT_NEAR(console.record.aperturearea, c.area, 0.01F);
        }
        EXPECT_EQ(host.text(TextBox::PCtext), c.text);
        EXPECT_EQ(host.texts.empty(), *c.answer == '\0');  // an empty answer says nothing
    }
}

TEST_F(OpticsTest, UnitSwitchConvertsAllThreeOnce) {
    auto& r = console.record;
    r.focallength = 100.0F;
    r.aperturediameter = 10.0F;
    r.aperturearea = 76.969009F;
    console.mnuinches_Click();  // already inches: nothing changes
    EXPECT_FLOAT_EQ(r.focallength, 100.0F);
    console.mnucentimeters_Click();
    EXPECT_TRUE(console.optics.unitscm);
    EXPECT_FLOAT_EQ(r.focallength, 254.0F);
    EXPECT_FLOAT_EQ(r.aperturediameter, 25.4F);
    EXPECT_FLOAT_EQ(r.aperturearea, 496.57321F);
    console.mnucentimeters_Click();
    EXPECT_FLOAT_EQ(r.focallength, 254.0F);
    console.mnuinches_Click();
    EXPECT_FALSE(console.optics.unitscm);
    EXPECT_FLOAT_EQ(r.focallength, 100.0F);
    EXPECT_FLOAT_EQ(r.aperturediameter, 10.0F);
    EXPECT_FLOAT_EQ(r.aperturearea, 76.969009F);
    EXPECT_TRUE(host.texts.empty());
}

}  // namespace
}  // namespace qtx::test
