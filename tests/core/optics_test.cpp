// The Edit Data menu: note, focal length, aperture and the units they are held in.
#include "console_fixture.hpp"
#include "text/numtext.hpp"

namespace qtx::test {
namespace {

class OpticsTest : public ConsoleTest {
  protected:
    // The QTX's header of an empty buffer sets the unit and the area factor alone.
    void headerOfEmptyBuffer(bool cm, bool apertureflag) {
        console.mnudownloadlight_Click();
        const int flags = (cm ? 0 : kInches) | (apertureflag ? 0 : kFactor98);
        receive(headerFrame({.flags = std::uint16_t(flags), .height = 0}));
    }
};

TEST_F(OpticsTest, NoteIsKeptUnlessTheAnswerIsEmpty) {
    host.promptAnswers = {"8 inch SCT, site 3", ""};
    console.mnunote_Click();
    console.mnunote_Click();
    EXPECT_EQ(host.prompts.at(0).defaultText, "Enter configuration and observer info here!");
    EXPECT_EQ(pcTexts(), std::vector<std::string>{"8 inch SCT, site 3"});
    EXPECT_EQ(console.image().imagenote, "8 inch SCT, site 3");
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
    host.promptAnswers = {"12.5"};
    console.mnufocallength_Click();
    const ImageRecord& r = console.image();
    for (const auto& c : cases) {
        headerOfEmptyBuffer(c.cm, c.flag);
        host.texts.clear();
        host.promptAnswers = {c.answer};
        c.focal ? console.mnufocallength_Click() : console.mnuaperturedia_Click();
        EXPECT_EQ(host.prompts.back().defaultText, c.offered);
        EXPECT_FLOAT_EQ(c.focal ? r.focallength : r.aperturediameter, c.value);
        EXPECT_NEAR(r.aperturearea, c.area, 0.01F);
        EXPECT_EQ(host.texts.empty() ? "" : host.text(TextBox::PCtext), c.text);
    }
}

TEST_F(OpticsTest, UnitSwitchConvertsAllThreeOnce) {
    const ImageRecord& r = console.image();
    const auto optics = [&] {
        return numberText(r.focallength) + numberText(r.aperturediameter) +
               numberText(r.aperturearea) + (console.opticsSettings().unitscm ? " cm" : " in");
    };
    host.promptAnswers = {"100", "10"};
    console.mnufocallength_Click();
    console.mnuaperturedia_Click();  // an area of 76.96901 square inches
    console.mnucentimeters_Click();
    console.mnucentimeters_Click();
    EXPECT_EQ(optics(), " 254 25.4 496.5733 cm");
    console.mnuinches_Click();
    EXPECT_EQ(optics(), " 100 10 76.96901 in");
}

}  // namespace
}  // namespace qtx::test
