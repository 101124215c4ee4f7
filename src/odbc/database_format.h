#pragma once
// Database formats: how identifiers are quoted (QUOTE on the FROM and TO
// commands) and how the target's rows are positioned for UPDATE and DELETE
// (UPDATE on the TO command), with the named presets that the FROM and TO
// dialogs offer to set them together.
//
// The presets work on a command through KeywordAccess, the little that they
// need of a script command: its number and the text of a keyword by number.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

constexpr int kFromCommand = 0;
constexpr int kToCommand = 1;
constexpr int kQuoteKeyword = 12;
constexpr int kUpdateKeyword = 13;

// The QUOTE value texts ("NONE", "SINGLE", "DOUBLE", matched exactly) and the
// quote character each stands for (none, "'" or a double quote). False, with
// `quote` untouched, for any other text.
bool quoteCharacterFor(std::string_view value, std::string& quote);

// How UPDATE and DELETE address the target row, numbered as stored.
enum class UpdateMode {
  ForUpdate = 0,    // "FORUPDATE": SELECT ... FOR UPDATE, WHERE CURRENT OF
  ForUpdateOf = 1,  // "FORUPDATEOF": ... FOR UPDATE OF the non-key columns
  None = 2,         // "NONE": no FOR UPDATE clause, WHERE CURRENT OF
  OpenCursor = 3,   // "OPENCURSOR": DECLARE LCLCSR CURSOR FOR ..., WHERE CURRENT OF LCLCSR
  Keys = 4,         // "KEYS": no FOR UPDATE clause; WHERE k1 = ? AND ... over the key
                    // columns, for drivers without positioned updates
};
constexpr UpdateMode kDefaultUpdateMode = UpdateMode::ForUpdate;

// "FORUPDATE", "FORUPDATEOF", "NONE", "OPENCURSOR", "KEYS" (exactly); false,
// with `mode` untouched, for any other text.
bool updateModeFor(std::string_view value, UpdateMode& mode);
const char* updateModeText(UpdateMode mode);

// A non-empty name wrapped in the quote character, a quote character inside
// it doubled; empty names, and every name without a quote character, stay.
std::string quoteIdentifier(const std::string& name, const std::string& quote);
// qualifier "." creator "." table, leaving out the empty parts and their
// dots. The parts are taken as they are (already quoted when quoting applies).
std::string qualifiedTableName(const std::string& qualifier, const std::string& creator,
                               const std::string& table);

// The cursor name that a mode's UPDATE and DELETE use when it is fixed
// ("LCLCSR" for OpenCursor); empty when the driver's name for the statement
// is used, or when no cursor is used at all (Keys).
std::string fixedCursorName(UpdateMode mode);
// The SELECT that walks the target table under `mode`: "SELECT " columns
// " FROM " table, " WHERE " condition when one is given, then the mode's
// FOR UPDATE clause (only when nonKeyColumns is not empty) or cursor
// declaration.
std::string targetSelectText(UpdateMode mode, const std::string& columns, const std::string& table,
                             const std::string& condition,
                             const std::vector<std::string>& nonKeyColumns);
// " WHERE k1 = ? AND k2 = ?", which ends UPDATE and DELETE under Keys.
std::string keyCondition(const std::vector<std::string>& keyColumns);

struct PresetSetting {
  int command;  // kFromCommand or kToCommand
  int keyword;  // kQuoteKeyword or kUpdateKeyword
  std::string value;
};

struct DatabaseFormatPreset {
  std::string name;
  std::vector<PresetSetting> settings;
};

// The presets in the order the dialogs list them: "Standard", "Lotus Notes",
// "SQL server", "SQLBase", and "Keyed update" for the KEYS mode.
std::vector<DatabaseFormatPreset> databaseFormatPresets();

// What the presets need of a FROM or TO command.
class KeywordAccess {
 public:
  virtual ~KeywordAccess() = default;
  virtual int commandNumber() const = 0;
  // The keyword's value text; empty when the keyword is absent.
  virtual std::string keywordValue(int keyword) const = 0;
  // Creates or replaces the keyword's value; an empty value removes it.
  virtual void setKeywordValue(int keyword, const std::string& value) = 0;
};

// A command reduced to its number and keyword values.
class KeywordValues final : public KeywordAccess {
 public:
  explicit KeywordValues(int command) : command_(command) {}
  int commandNumber() const override { return command_; }
  std::string keywordValue(int keyword) const override;
  void setKeywordValue(int keyword, const std::string& value) override;
  const std::map<int, std::string>& values() const { return values_; }

 private:
  int command_;
  std::map<int, std::string> values_;
};

// The index of the first preset all of whose settings for this command equal
// the command's values (settings for the other command count as matching);
// 0, the first preset, when none matches.
size_t selectMatching(const std::vector<DatabaseFormatPreset>& presets,
                      const KeywordAccess& command);
// Writes the selected preset's settings for this command into it, skipping
// those for the other command. A selection outside the table changes nothing.
void applySelected(const std::vector<DatabaseFormatPreset>& presets, int selected,
                   KeywordAccess& command);

}  // namespace kestrel
