#pragma once

#include <array>
#include <string_view>

namespace quorvel {

enum class ControlKind { Label, TextBox, PushButton, GroupBox, OptionButton, DropDownList };

enum ControlAttr : unsigned {
    kAttrNone = 0,
    kAttrDisabled = 1u << 0,
    kAttrCentred = 1u << 1,
    kAttrUnderlined = 1u << 2, // the column headings
    kAttrListFont = 1u << 3,   // the format list's own font: default face, 8.25 pt
};

// One control of the main window. Positions are twips relative to the container:
// the client area for "Form1", the group box's own top-left corner otherwise.
struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    std::string_view container;
    std::string_view caption;
    int left, top, width, height;
    int tabIndex;
    unsigned attrs;
};

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kClientWidthTwips = 7215;
inline constexpr int kClientHeightTwips = 4335;

inline constexpr std::string_view kCredit = "Quorvel: exact sizes for disc video";

using K = ControlKind;

// The whole window as data. Containers come before the controls they hold.
inline constexpr std::array<ControlSpec, 27> kLayout{{
    {"Label6", K::Label, "Form1", "AVI File:", 240, 360, 735, 255, 20, kAttrNone},
    {"Text1", K::TextBox, "Form1", "", 960, 330, 5655, 405, 1, kAttrNone},
    {"btnBrowse", K::PushButton, "Form1", "...", 6720, 360, 375, 375, 0, kAttrNone},
    {"Frame1", K::GroupBox, "Form1", "Source AVI", 240, 960, 3135, 2415, 2, kAttrNone},
    {"Frame2", K::GroupBox, "Form1", "Resized AVI", 3840, 960, 3255, 3255, 10, kAttrNone},
    {"Command1", K::PushButton, "Form1", "bye bye...", 240, 3480, 3135, 495, 25, kAttrNone},
    {"Label9", K::Label, "Form1", kCredit, 240, 4080, 3135, 255, 26, kAttrCentred},

    {"Label1", K::Label, "Frame1", "Width:", 600, 480, 735, 375, 3, kAttrNone},
    {"txtSW", K::TextBox, "Frame1", "", 1200, 360, 1215, 375, 4, kAttrNone},
    {"Label2", K::Label, "Frame1", "Height:", 600, 840, 735, 375, 5, kAttrNone},
    {"txtSH", K::TextBox, "Frame1", "", 1200, 720, 1215, 375, 6, kAttrNone},
    {"opSP", K::OptionButton, "Frame1", "PAL (25 fps)", 720, 1200, 1815, 375, 7, kAttrDisabled},
    {"opSNT1", K::OptionButton, "Frame1", "NTSC (23.976 fps)", 720, 1560, 1815, 375, 8,
     kAttrDisabled},
    {"opSNT2", K::OptionButton, "Frame1", "NTSC (29.97 fps)", 720, 1920, 1695, 375, 9,
     kAttrDisabled},

    {"Label5", K::Label, "Frame2", "Output Format:", 120, 360, 1215, 375, 19, kAttrNone},
    {"boxFormat", K::DropDownList, "Frame2", "", 1320, 360, 1815, 375, 18, kAttrListFont},
    {"Label7", K::Label, "Frame2", "Movie", 1320, 960, 855, 255, 23,
     kAttrCentred | kAttrUnderlined},
    {"Label8", K::Label, "Frame2", "TV", 2280, 960, 855, 255, 24, kAttrCentred | kAttrUnderlined},
    {"Label4", K::Label, "Frame2", "Width:", 120, 1320, 735, 375, 17, kAttrNone},
    {"txtOWM", K::TextBox, "Frame2", "", 1320, 1200, 855, 375, 15, kAttrNone},
    {"txtOWT", K::TextBox, "Frame2", "", 2280, 1200, 855, 375, 21, kAttrNone},
    {"Label3", K::Label, "Frame2", "Height:", 120, 1680, 735, 375, 16, kAttrNone},
    {"txtOHM", K::TextBox, "Frame2", "", 1320, 1560, 855, 375, 14, kAttrNone},
    {"txtOHT", K::TextBox, "Frame2", "", 2280, 1560, 855, 375, 22, kAttrNone},
    {"opOPal", K::OptionButton, "Frame2", "PAL (25 fps)", 960, 2040, 1815, 375, 13, kAttrNone},
    {"opONT1", K::OptionButton, "Frame2", "NTSC (23.976 fps)", 960, 2400, 1815, 375, 12, kAttrNone},
    {"opONT2", K::OptionButton, "Frame2", "NTSC (29.97 fps)", 960, 2760, 1815, 375, 11, kAttrNone},
}};

} // namespace quorvel
