// The Edit Data menu: note, focal length, aperture diameter and the length unit.
#include "console.hpp"
#include "image/aperture.hpp"
#include "image/image_view.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr double kCmPerInch = 2.54;
constexpr double kSquareCmPerSquareInch = 6.4516;

float typedValue(const std::string& answer) { return static_cast<float>(readNumber(answer)); }

}  // namespace

void ImageView::mnunote_Click() {
    const std::string answer = host.prompt("Input note (if desired)", "Note",
                                           "Enter configuration and observer info here!");
    if (answer.empty()) return;
    record.imagenote = answer;
    setText(TextBox::PCtext, answer);
}

void ImageView::mnufocallength_Click() {
    const bool cm = optics.unitscm;
    const std::string answer =
        host.prompt(cm ? "Input focal length in centimeters" : "Input focal length in inches",
                    "Focal Length", numberText(record.focallength));
    if (answer.empty()) return;
    record.focallength = typedValue(answer);
    setText(TextBox::PCtext,
            "Focal length = " + numberText(record.focallength) + (cm ? " centimeters" : " inches"));
}

void ImageView::mnuaperturedia_Click() {
    const bool cm = optics.unitscm;
    const std::string answer = host.prompt(
        cm ? "Input aperture diameter in  centimeters" : "Input aperture diameter in inches",
        "Aperture Diameter", numberText(record.aperturediameter));
    if (!answer.empty()) {
        record.aperturediameter = typedValue(answer);
        setText(TextBox::PCtext, "Aperture diameter = " + numberText(record.aperturediameter) +
                                     (cm ? " centimeters" : " inches"));
    }
    // The area follows the diameter also after an empty answer.
    // Here the disc's area is rounded to single precision before the factor is applied.
    const auto area = static_cast<float>(discArea(record.aperturediameter));
    record.aperturearea = static_cast<float>(area * apertureFactor(optics.apertureflag));
}

void ImageView::mnuinches_Click() {
    if (optics.unitscm) {
        record.focallength = static_cast<float>(record.focallength / kCmPerInch);
        record.aperturediameter = static_cast<float>(record.aperturediameter / kCmPerInch);
        record.aperturearea = static_cast<float>(record.aperturearea / kSquareCmPerSquareInch);
    }
    optics.unitscm = false;
}

void ImageView::mnucentimeters_Click() {
    if (!optics.unitscm) {
        record.focallength = static_cast<float>(record.focallength * kCmPerInch);
        record.aperturediameter = static_cast<float>(record.aperturediameter * kCmPerInch);
        record.aperturearea = static_cast<float>(record.aperturearea * kSquareCmPerSquareInch);
    }
    optics.unitscm = true;
}

}  // namespace qtx
