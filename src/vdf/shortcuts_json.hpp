#pragma once

// A stable JSON form of shortcut records, for people who debug users' files and for tests
// that compare files before and after a run.

#include <span>
#include <string>

#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// One record as a one-line JSON object, keys in the order the writer emits them:
// {"appid":3347587637,"AppName":"Game","Exe":"\"a.exe\"",...,"FlatpakAppID":"",
// <extra nodes under their own keys>,"tags":["a","b"]}. Integers are unsigned decimal;
// an extra string is a JSON string, an extra int32 a number, an extra table an object of
// its children in order. Texts are UTF-8 with ", \ and control characters escaped.
std::string shortcut_to_json(const SteamShortcut& shortcut);

// The list as a JSON array with one record per line: "[\n" rec ",\n" rec "\n]\n", or
// "[]\n" when empty.
std::string shortcuts_to_json(std::span<const SteamShortcut> shortcuts);

}  // namespace ml
