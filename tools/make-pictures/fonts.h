// fonts.h: the font files the picture generator draws its text with, at the
// paths where Debian's packages install them (fonts-dejavu-core,
// fonts-ipafont-gothic). The generator's tests look for the same files.
#pragma once

inline constexpr const char* kFontSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr const char* kFontSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
inline constexpr const char* kFontSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
inline constexpr const char* kFontGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

inline constexpr const char* kAllFonts[] = {kFontSans, kFontSansBold, kFontSerif, kFontGothic};

// The FreeType release that drew the committed pictures; another release may
// place anti-aliased edges differently, so byte comparisons need this one.
inline constexpr const char* kPicturesFreetype = "2.12.1";
