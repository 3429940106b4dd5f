// Environment-variable substitution (${NAME}, $NAME) in fixed-length fields.
#include <kvax/env/envars.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/text/strings.h>

namespace kvax {
namespace {

struct Variant {
  int length;             // working field length
  std::string_view tag;   // "<repenv>" or "<repenL>"
  bool one_by_one;        // 128: an undefined variable removes only the reference handled
};

constexpr Variant kShort{64, "<repenv>", false};
constexpr Variant kLong{256, "<repenL>", false};
constexpr Variant k128{128, "<repenv>", true};

// Characters that end a bare $NAME, and a braced ${NAME}; the earliest one decides.
constexpr std::string_view bare_name_ends = "./$- ";
constexpr std::string_view braced_name_ends = "} ";

// The variable's value cut to the field length; blank when undefined. A name holding a
// NUL or "=" cannot name an environment variable, so it reads as undefined.
std::string value_of(std::string_view name, int length) {
  if (name.empty() || name.find('\0') != std::string_view::npos ||
      name.find('=') != std::string_view::npos)
    return {};
  const char* v = std::getenv(std::string(name).c_str());
  if (v == nullptr) return {};
  std::string value(v);
  if (value.size() > static_cast<std::size_t>(length)) value.resize(static_cast<std::size_t>(length));
  return value;
}

std::string line_head(const Variant& var, std::string_view mark) {
  std::string s = " ";
  s += var.tag;
  s += mark;
  return s;
}

// Replaces the reference at p by the value, or removes it (all of its occurrences from p
// on, or only this one for the 128-character field) when the value is blank.
void substitute(Text& f, const Variant& var, std::string_view ref, const std::string& value, int lv,
                int p) {
  if (lv > 0)
    replace_in_string(f, ref, std::string_view(value).substr(0, static_cast<std::size_t>(lv)), p, 0);
  else if (var.one_by_one)
    replace_in_string(f, ref, std::string_view(), p, 0);
  else
    delete_in_string(f, ref, p, 0);
}

void run(Text& field, const Variant& var) {
  const int n = var.length;
  Text f = text(field, static_cast<std::size_t>(n));

  // Trace switch: "!!!" ending exactly at the trimmed end; it and the rest are blanked.
  bool trace = false;
  int bang = 0;
  if (q_index(f, "!!!", bang) && bang + 2 == trim_len(f)) {
    trace = true;
    put(f, bang, std::string(static_cast<std::size_t>(n - bang + 1), ' '));
    write_fmt(6, "(2A)", line_head(var, "d>  in ->"), f);
  }

  // Braced references. The scan resumes just before each substituted reference, so a
  // value holding braced references is expanded in turn.
  int made = 0;
  bool stopped = false;
  int k = 1;
  while (const int p = instr(k, f, "${")) {
    const int e = value_end(f, p + 2, braced_name_ends, true) + 1;  // the "}" or blank, or n + 1
    const std::string name(sub(f, p + 2, e - 1));
    if (p > 1 && at(f, p - 1) == '\\') {
      k = p + 2;
      continue;
    }
    const bool closed = e <= n && at(f, e) == '}' && !(!name.empty() && name.back() == '\\');
    if (!closed) {
      write_list(6, "Missing }");
      stop_run();
    }
    if (made == max_envar_substitutions) {
      write_fmt(6, "(4A)", line_head(var, "W> Substitution stopped after "),
                std::to_string(max_envar_substitutions),
                " replacements (a variable refers to itself?): ", trimmed(f));
      stopped = true;
      break;
    }
    ++made;
    const std::string value = value_of(name, n);
    const int lv = trim_len(value);
    substitute(f, var, "${" + name + "}", value, lv, p);
    if (trace) {
      if (var.one_by_one)
        write_fmt(6, "(2A,I4,2A)", line_head(var, "1> "), name, p, " ->", f);
      else
        write_fmt(6, "(2A,2I5,2A)", line_head(var, "1> ${"), name + "}", lv, p, " ->", f);
    }
    k = std::max(p - 1, 1);
  }

  // Bare references.
  k = 1;
  while (!stopped) {
    const int p = instr(k, f, "$");
    if (p == 0) break;
    const int e = value_end(f, p + 1, bare_name_ends, true) + 1;
    if (e == p + 1) {  // "$" before a terminator stays, and so does the character after it
      k = p + 2;
      continue;
    }
    k = p + 2;
    if (p > 1 && at(f, p - 1) == '\\') continue;
    const std::string name(sub(f, p + 1, e - 1));
    const std::string value = value_of(name, n);
    const int lv = trim_len(value);
    const Text before = f;
    substitute(f, var, "$" + name, value, lv, p);
    if (trace) write_fmt(6, "(2A,I4,2A)", line_head(var, "2> "), name, var.one_by_one ? p + 1 : p, " ->", f);
    // Resume two characters into the value (the rest of it is scanned again), or right
    // after a shorter or removed one, so that an adjacent "$A$B" is not stepped over.
    // A reference running past the trimmed end into control characters may not be
    // found for removal; the scan then steps over it as it does over an escaped one.
    k = f == before ? p + 2 : p + std::min(lv, 2);
  }

  replace_in_string(f, "\\$", "$", 1, 0);
  if (trace) write_fmt(6, "(2A)", line_head(var, ">> out ->"), f);

  put(field, 1, sub(f, 1, static_cast<long>(field.size())));
}

}  // namespace

void replace_envars(Text& field) { run(field, kShort); }
void replace_envars_l(Text& field) { run(field, kLong); }
void replace_envars_128(Text& field) { run(field, k128); }

}  // namespace kvax
