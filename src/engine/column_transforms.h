#pragma once
// What a copy column does to a value on its way from source to target: the
// CHANGE rules and coding of an edit definition, and FORMAT patterns.
//
// Coding disguises a value but must stay the same from release to release:
// coded key columns are stored in target tables, and a later run must find
// them again. The key-stream constants below are therefore fixed for good.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

struct ChangeRule {
  std::string fromText;
  std::string toText;
};

// At most this many passes of one CHANGE rule over one value.
inline constexpr int kMaxChangePasses = 500;

// Applies the rules in script order; each rule replaces the first occurrence
// of its fromText again and again until a pass changes nothing. An empty
// fromText turns an empty value into toText.
std::string applyChangeRules(const std::vector<ChangeRule>& rules, std::string text);

// The coding tables of one edit definition, built on first use from its
// CODED key. Not reentrant: the stream position and previous output are
// working fields, reset at the start of every value.
class CodingTables {
 public:
  static constexpr int kAlphabetSize = 189;
  static constexpr int kDigitAlphabetSize = 10;

  // debug: the DebugMode preference when the edit definition was created.
  CodingTables(long codedKey, bool debug) : key_(codedKey), debug_(debug) {}

  // Codes a text; in digit mode only runs of decimal digits are coded and
  // every other character stays in place. The length never changes.
  std::string code(const std::string& text, bool digitsOnly);

  bool built() const { return built_; }
  const std::array<std::uint8_t, 256>& keyStream() {
    build();
    return keyStream_;
  }

 private:
  void build();
  void encodeRun(std::string& text, std::size_t begin, std::size_t end, bool digits);

  long key_;
  bool debug_;
  bool built_ = false;
  std::array<unsigned char, kAlphabetSize> alphabet_{};
  std::array<int, 256> alphabetPosition_{};
  std::array<std::uint8_t, 256> keyStream_{};
  int streamPosition_ = 0;
  int previousOutput_ = 0;
};

// An edit definition as the transforms see it: its CHANGE rules, and its
// coding tables when CODED was given (nullptr otherwise).
struct EditRules {
  const std::vector<ChangeRule>& changes;
  CodingTables* coding;
};

std::string edit(const EditRules& rules, const std::string& text, bool digitsOnly);
// The numeric forms: the number is written as text, edited in digit mode and
// read back. An integer whose coded digits no longer fit 32 bits is reported
// through `fits` (false) rather than wrapped.
std::int32_t editInteger(const EditRules& rules, std::int32_t value, bool* fits);
double editFloat(const EditRules& rules, double value);

// Reads a decimal integer: leading white space, an optional sign, digits up to
// the first other character; no digits give 0.
long long readDecimalInteger(const std::string& text);

}  // namespace kestrel
