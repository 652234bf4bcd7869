#pragma once
// The program's key text and its three stored scrambled texts. Callers
// unscramble a text each time they need it (UnscrambleText with KeyText());
// nothing is cached.
//
//   StoredCaptionText  -> "Tavrin 录音机 1.0"   window caption and tray tip
//   StoredStatusText   -> the status-bar text
//   StoredAddressText  -> "help/index.html", relative to the program's
//                         executable; AddressUrl turns it into a URL
//
// New stored texts are made with scripts/make-scrambled-text PLAIN KEY.
#include <string>

const std::string& KeyText();
const std::string& StoredCaptionText();
const std::string& StoredStatusText();
const std::string& StoredAddressText();

// The URL to open for an unscrambled address. A text with a scheme
// ("https://...", "file:///...") is taken as it is; any other text is a path
// relative to the executable's folder and becomes a file:// URL. An empty
// text (a failed check) gives an empty URL, so nothing is opened.
std::string AddressUrl(const std::string& address);
