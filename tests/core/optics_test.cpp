#include "console_fixture.hpp"

namespace qtx::test {
namespace {

using OpticsTest = ConsoleTest;

TEST_F(OpticsTest, NoteIsKeptUnlessTheAnswerIsEmpty) {
    host.promptAnswers = {"8 inch SCT, site 3", ""};
    console.mnunote_Click();
    ASSERT_EQ(host.prompts.size(), 1U);
    EXPECT_EQ(host.prompts[0].prompt, "Input note (if desired)");
    EXPECT_EQ(host.prompts[0].title, "Note");
    EXPECT_EQ(host.prompts[0].defaultText, "Enter configuration and observer info here!");
    EXPECT_EQ(console.record.imagenote, "8 inch SCT, site 3");
    EXPECT_EQ(host.text(TextBox::PCtext), "8 inch SCT, site 3");
    host.texts.clear();
    console.mnunote_Click();
    EXPECT_EQ(console.record.imagenote, "8 inch SCT, site 3");
    EXPECT_TRUE(host.texts.empty());
}

TEST_F(OpticsTest, FocalLengthPromptsAndReadsLeniently) {
    const struct {
        bool cm;
        const char* answer;
        float value;
        const char* prompt;
        const char* text;
    } cases[] = {
        {false, "8.5 in", 8.5F, "Input focal length in inches", "Focal length =  8.5 inches"},
        {false, "inches", 0.0F, "Input focal length in inches", "Focal length =  0 inches"},
        {true, " 203.2", 203.2F, "Input focal length in centimeters",
         "Focal length =  203.2 centimeters"},
        {true, "-12.5", -12.5F, "Input focal length in centimeters",
         "Focal length = -12.5 centimeters"},
    };
    console.record.focallength = 12.5F;
    for (const auto& c : cases) {
        console.optics.unitscm = c.cm;
        host.promptAnswers = {c.answer};
        console.mnufocallength_Click();
        EXPECT_EQ(host.prompts.back().prompt, c.prompt);
        EXPECT_EQ(host.prompts.back().title, "Focal Length");
        EXPECT_FLOAT_EQ(console.record.focallength, c.value) << c.answer;
        EXPECT_EQ(host.text(TextBox::PCtext), c.text);
    }
    EXPECT_EQ(host.prompts[0].defaultText, " 12.5");
    EXPECT_EQ(host.prompts[3].defaultText, " 203.2");
    host.promptAnswers = {""};
    console.mnufocallength_Click();
    EXPECT_FLOAT_EQ(console.record.focallength, -12.5F);
    EXPECT_EQ(host.prompts.back().defaultText, "-12.5");
}

TEST_F(OpticsTest, ApertureDiameterDerivesTheArea) {
    const struct {
        bool cm, flag;
        const char* answer;
        float diameter, area;
        const char* prompt;
        const char* text;
    } cases[] = {
        {false, false, "10", 10.0F, 76.969009F, "Input aperture diameter in inches",
         "Aperture diameter =  10 inches"},
        {false, true, "10", 10.0F, 56.734364F, "Input aperture diameter in inches",
         "Aperture diameter =  10 inches"},
        {true, false, "25.4", 25.4F, 496.57F, "Input aperture diameter in  centimeters",
         "Aperture diameter =  25.4 centimeters"},
    };
    for (const auto& c : cases) {
        console.optics.unitscm = c.cm;
        console.optics.apertureflag = c.flag;
        host.promptAnswers = {c.answer};
        console.mnuaperturedia_Click();
        EXPECT_EQ(host.prompts.back().prompt, c.prompt);
        EXPECT_EQ(host.prompts.back().title, "Aperture Diameter");
        EXPECT_FLOAT_EQ(console.record.aperturediameter, c.diameter);
        EXPECT_NEAR(console.record.aperturearea, c.area, 0.005F) << c.answer;
        EXPECT_EQ(host.text(TextBox::PCtext), c.text);
    }
    // An empty answer keeps the diameter but still derives the area from it.
    console.optics.unitscm = false;
    console.optics.apertureflag = false;
    console.record.aperturediameter = 10.0F;
    console.record.aperturearea = 0.0F;
    host.texts.clear();
    host.promptAnswers = {""};
    console.mnuaperturedia_Click();
    EXPECT_EQ(host.prompts.back().defaultText, " 10");
    EXPECT_FLOAT_EQ(console.record.aperturearea, 76.969009F);
    EXPECT_TRUE(host.texts.empty());
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
