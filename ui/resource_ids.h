// Integer ids of the program's resources and of the controls on its templates.
#pragma once

namespace ui {

inline constexpr int IDD_WIZARD_FORM = 101;   // form of the wizard view
inline constexpr int IDD_CLOSE = 130;         // close-refusal notice
inline constexpr int IDD_LICENSE = 131;       // end-user agreement
inline constexpr int IDB_BACKGROUND = 133;    // 440 x 429, 8 bits
inline constexpr int IDB_PHONE_VQ20 = 173;
inline constexpr int IDB_PHONE_VQ2X = 174;
inline constexpr int IDC_HAND = 171;          // cursor over the painted buttons

inline constexpr int IDC_PROGRESS = 1000;        // template progress control of form 101
inline constexpr int IDC_DEFAULT_BUTTON = 1014;  // hidden default button of form 101
inline constexpr int IDC_AGREE = 1002;           // radio buttons of template 131
inline constexpr int IDC_DISAGREE = 1003;

// Type name of the language text resources (looked up ignoring letter case).
inline constexpr const char* kLangTextType = "LangText";

}  // namespace ui
