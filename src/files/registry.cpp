// File-name registry /COPENF/ and its four operations.
#include <kvax/files/registry.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include <kvax/env/envars.h>
#include <kvax/io/units.h>

#include "testing.h"

namespace kvax {
namespace {

constexpr std::size_t kWorkName = 128;  // names are finished in a 128-character field

// /COPENF/: slot tables, the unit-0 entry, the most recent slot and the capacity.
struct Copenf {
  std::array<int, registry_slots> unit{};  // 0 marks a free slot
  std::array<Text, registry_slots> entry;
  std::array<bool, registry_slots> replaced{};  // the entry's references were replaced when stored
  Text unit0_entry = Text(registry_entry_length, ' ');
  int last_slot = 0;
  int capacity = registry_slots;

  Copenf() { entry.fill(Text(registry_entry_length, ' ')); }
};

Copenf& copenf() {
  static Copenf c;
  return c;
}

// 1-based slot holding the unit (a free slot for unit 0), or 0.
int slot_of(int unit) {
  const Copenf& c = copenf();
  for (int s = 1; s <= c.capacity; ++s)
    if (c.unit[static_cast<std::size_t>(s - 1)] == unit) return s;
  return 0;
}

// Length of the name part: up to the first blank, or the whole entry.
int name_length(std::string_view entry) {
  const std::size_t b = entry.find(' ');
  return b == std::string_view::npos ? static_cast<int>(entry.size()) : static_cast<int>(b);
}

// "? ftn" and the unit in two digits with a leading zero; "**" when it does not fit.
std::string unknown_unit(int unit) {
  std::string s = "? ftn";
  if (unit < 0 || unit > 99) {
    s += "**";
  } else {
    s += static_cast<char>('0' + unit / 10);
    s += static_cast<char>('0' + unit % 10);
  }
  return s;
}

// Replaces a leading "~" by $HOME (up to its first blank, 64 characters at most), then
// environment references, and assigns the result.
void finish_name(std::string name, Text& out, bool replace_references = true) {
  if (!name.empty() && name[0] == '~') {
    std::string home;
    if (const char* h = std::getenv("HOME")) home = h;
    if (home.size() > registry_entry_length) home.resize(registry_entry_length);
    home.resize(static_cast<std::size_t>(name_length(home)));
    name.replace(0, 1, home);
  }
  Text work = text(name, kWorkName);
  if (replace_references) replace_envars_128(work);
  assign(out, work);
}

}  // namespace

void save_file_name(int unit, std::string_view entry, bool replaced) {
  Copenf& c = copenf();
  if (unit == 0) {
    assign(c.unit0_entry, entry);
    return;
  }
  // The first slot holding this unit or free; otherwise the one after the latest store.
  int slot = 0;
  for (int s = 1; s <= c.capacity && slot == 0; ++s) {
    const int u = c.unit[static_cast<std::size_t>(s - 1)];
    if (u == unit || u == 0) slot = s;
  }
  if (slot == 0) slot = c.last_slot % c.capacity + 1;
  assign(c.entry[static_cast<std::size_t>(slot - 1)], entry);
  c.replaced[static_cast<std::size_t>(slot - 1)] = replaced;
  c.unit[static_cast<std::size_t>(slot - 1)] = unit;
  c.last_slot = slot;
}

void get_file_name(int unit, Text& name) {
  const Copenf& c = copenf();
  if (unit == 0) {
    assign(name, c.unit0_entry);
    return;
  }
  const int slot = slot_of(unit);
  if (slot == 0) {
    finish_name(unknown_unit(unit), name);
    return;
  }
  const Text& e = c.entry[static_cast<std::size_t>(slot - 1)];
  finish_name(e.substr(0, static_cast<std::size_t>(name_length(e))), name,
              !c.replaced[static_cast<std::size_t>(slot - 1)]);
}

void get_file_comment(int unit, Text& comment) {
  const int slot = unit == 0 ? 0 : slot_of(unit);
  if (slot == 0) {
    get_file_name(unit, comment);
    return;
  }
  const Text& e = copenf().entry[static_cast<std::size_t>(slot - 1)];
  const int from = std::min(name_length(e) + 2, registry_entry_length);
  assign(comment, sub(e, from, registry_entry_length));
}

void close_file_name(int unit) {
  close_unit(unit);
  const int slot = slot_of(unit);
  if (slot == 0) return;
  Copenf& c = copenf();
  c.unit[static_cast<std::size_t>(slot - 1)] = 0;
  assign(c.entry[static_cast<std::size_t>(slot - 1)], "");
}

void registry_reset_for_tests() { copenf() = Copenf(); }

}  // namespace kvax
