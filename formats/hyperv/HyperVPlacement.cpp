//===- HyperVPlacement.cpp - Where a Hyper-V VM of our script finds its disks
//
// Reads back the commands HyperVScriptWriter.cpp writes.  PowerShell's
// single-quoted strings double a quote to hold one ('Bob''s PC'), and take
// the typographic single quotes (U+2018..U+201B) as quotes too; a line
// ending in a backtick goes on on the next.  Generation 1 boots from its
// lowest IDE disk, generation 2 from its lowest SCSI disk on Hyper-V's
// synthetic controller; New-VM's -VHDPath disk sits on IDE 0:0
// (generation 1) or SCSI 0:0 (generation 2).
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"
#include "platform/support/FXString.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace {

using Words = std::vector<std::string>;

// The length of the single quote at text[i] (1, or 3 for U+2018..U+201B in
// UTF-8), else 0.
size_t SingleQuoteAt(const std::string& text, size_t i) {
  if (text[i] == '\'') return 1;
  bool curly = i + 2 < text.size() && text[i] == '\xE2' &&
               text[i + 1] == '\x80' && text[i + 2] >= '\x98' &&
               text[i + 2] <= '\x9B';
  return curly ? 3 : 0;
}

// A command line's words, quotes removed and doubled quotes made one.
Words SplitWords(const std::string& line) {
  Words words;
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    size_t quote = SingleQuoteAt(line, i);
    if (quoted && quote) {
      size_t next = i + quote < line.size() ? SingleQuoteAt(line, i + quote) : 0;
      if (next) word += line.substr(i + quote, next);  // a doubled quote
      quoted = next != 0;
      i += quote + next - 1;
    } else if (quoted) {
      word += line[i];
    } else if (quote) {
      quoted = inWord = true;
      i += quote - 1;
    } else if (std::isspace(static_cast<unsigned char>(line[i]))) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += line[i];
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// The script's commands, each as its words, the command name lower case.
std::vector<Words> Commands(const std::string& text) {
  std::vector<Words> commands;
  std::istringstream lines(text);
  std::string line, joined;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '`') {
      joined += line.substr(0, line.size() - 1) + " ";
      continue;
    }
    Words words = SplitWords(joined + line);
    joined.clear();
    if (words.empty()) continue;
    words[0] = FXString::ToLower(words[0]);
    commands.push_back(words);
  }
  return commands;
}

// The word after the parameter name; with path, a "(Join-Path $Folder
// 'file')" gives its file.
std::string Parameter(const Words& words, const char* name, bool path = false) {
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (FXString::ToLower(words[i]) != FXString::ToLower(name)) continue;
    if (!path || FXString::ToLower(words[i + 1]) != "(join-path")
      return words[i + 1];
    std::string child = i + 3 < words.size() ? words[i + 3] : "";
    if (!child.empty() && child.back() == ')') child.pop_back();
    return child;
  }
  return "";
}

int Number(const std::string& text) { return std::atoi(text.c_str()); }

void MarkBootDisk(SDiskPlacement& placement) {
  const char* bootOn = placement.efi ? "hyper-v scsi" : "ide";
  SPlacedDisk* first = nullptr;
  for (SPlacedDisk& disk : placement.disks)
    if (disk.controller == bootOn &&
        (!first || std::make_pair(disk.bus, disk.unit) <
                       std::make_pair(first->bus, first->unit)))
      first = &disk;
  if (first) first->boot = true;
}

SPlacedDisk Disk(const std::string& file, bool ide, int bus, int unit) {
  SPlacedDisk disk;
  disk.file = file;
  disk.controller = ide ? "ide" : "hyper-v scsi";
  disk.bus = bus;
  disk.unit = unit;
  return disk;
}

}  // namespace

bool PlaceHyperVScript(const std::string& text,
                       const std::vector<std::string>&,
                       SDiskPlacement& placement, std::string&) {
  std::vector<Words> commands = Commands(text);
  for (const Words& words : commands)
    if (words[0] == "new-vm")
      placement.efi = Parameter(words, "-Generation") == "2";
  for (const Words& words : commands) {
    std::string vhd = Parameter(words, "-VHDPath", true);
    if (words[0] == "new-vm" && !vhd.empty())
      placement.disks.push_back(Disk(vhd, !placement.efi, 0, 0));
    if (words[0] != "add-vmharddiskdrive") continue;
    placement.disks.push_back(
        Disk(Parameter(words, "-Path", true),
             FXString::ToLower(Parameter(words, "-ControllerType")) == "ide",
             Number(Parameter(words, "-ControllerNumber")),
             Number(Parameter(words, "-ControllerLocation"))));
  }
  MarkBootDisk(placement);
  return true;
}
