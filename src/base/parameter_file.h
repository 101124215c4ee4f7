#pragma once
// The option store: every preference of kestrel, typed and documented, grouped
// in sections, read from the profile when defined and written back at once by
// SetText/SetInt. Assignments from the command line or a parameter file apply
// to the current run only.

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// Where stored option values live: one group per section, one key per option.
// The programs use an INI file through QSettings; tests an in-memory map.
class Profile {
 public:
  virtual ~Profile() = default;
  virtual std::optional<std::string> read(const std::string& section, const std::string& key) = 0;
  virtual void write(const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

class MemoryProfile final : public Profile {
 public:
  std::optional<std::string> read(const std::string& section, const std::string& key) override;
  void write(const std::string& section, const std::string& key, const std::string& value) override;
  std::map<std::pair<std::string, std::string>, std::string> values;
};

struct OptionSection;

struct Option {
  std::string key;
  OptionSection* section = nullptr;
  std::string value;
  std::string defaultValue;
  std::string help;
  bool numeric = false;
  bool flag = false;
  bool filename = false;
  bool password = false;
  bool visible = true;
};

struct OptionSection {
  std::string name;
  std::string description;
  std::list<Option> options;  // stable addresses: callers keep Option pointers
};

struct WindowRect {
  int left, top, right, bottom;
  bool operator==(const WindowRect&) const = default;
};

// The value of an integer window option that means "no position stored".
inline constexpr int kNoWindowPosition = -2147483647 - 1;

class ParameterFile {
 public:
  // The profile must outlive the ParameterFile.
  explicit ParameterFile(Profile& profile);
  ParameterFile(const ParameterFile&) = delete;
  ParameterFile& operator=(const ParameterFile&) = delete;

  void DefineSection(const std::string& name, const std::string& description);
  Option* DefineText(const std::string& key, const std::string& defaultValue,
                     const std::string& help, bool numeric = false, bool filename = false,
                     bool password = false);
  Option* DefineInteger(const std::string& key, long defaultValue, const std::string& help,
                        bool flag = false, bool visible = true);
  // The four window position options (prefix + "Left", "Top", "right", "Bottom").
  void DefineWindowOptions(const std::string& prefix, const std::string& windowDescription);
  static void SetVisible(Option* option, bool visible);

  // With report set, an unknown key shows "Undefined parameter '...' ignored".
  Option* Find(const std::string& key, bool report = true) const;
  static std::string GetText(const Option* option);
  static int GetInt(const Option* option);
  // Store the value at once and tell every change listener.
  bool SetText(Option* option, const std::string& text);
  bool SetInt(Option* option, long number);

  // Called with the option's key after every SetText or SetInt (a change made
  // in a window), never for command-line or parameter-file assignments. The
  // number returned removes the listener again.
  int addChangeListener(std::function<void(const std::string& key)> listener);
  void removeChangeListener(int id);

  // Convenience for readers: Find without report, then GetText/GetInt.
  std::string text(const std::string& key) const { return GetText(Find(key, false)); }
  int integer(const std::string& key) const { return GetInt(Find(key, false)); }

  bool Assign(const std::string& text);
  // Reads Key=Value lines; false (with "Cannot open parameter input file" when
  // report is set) when the name is missing, unreadable or no regular file.
  bool ReadParameterFile(const std::string& fileName, bool report);
  bool ProcessCommandLine(const std::string& commandLine);

  std::optional<WindowRect> storedWindowRect(const std::string& prefix) const;
  void SaveWindowRect(const std::string& prefix, const WindowRect& rect);

  const std::list<OptionSection>& sections() const { return sections_; }

  // Reversible scrambling of password texts as they are stored in the profile.
  static std::string scramble(const std::string& text);
  static std::string unscramble(const std::string& text);

  // True for a key whose value is a secret: a password option, or any key
  // that speaks of one (a misspelt password key is refused, not echoed).
  bool isSecretKey(const std::string& key) const;
  // A "Key=Value" text as a message may quote it: a secret value masked.
  std::string shownAssignment(const std::string& text) const;

  // Parameter file lines longer than this are refused whole.
  static constexpr std::size_t kMaxParameterLine = 4219;

 private:
  Profile& profile_;
  std::list<OptionSection> sections_;
  OptionSection* current_ = nullptr;
  std::vector<std::pair<int, std::function<void(const std::string&)>>> changeListeners_;
  int nextListenerId_ = 1;
};

// The program's option store, read by code that has no document at hand (the
// copy engine reads NoUpdate, ListSQL and the like when it needs them). Without
// one installed, every option reads as 0 or an empty text.
void setProgramOptions(ParameterFile* options);
ParameterFile* programOptions();
int optionInt(const std::string& key);
std::string optionText(const std::string& key);

// Defines both sections and every option of kestrel in their table order.
void DefineKestrelOptions(ParameterFile& parameters);

// The command line as kestrel reads it (items split at blanks and commas), rebuilt
// from argv: an argument whose value holds blanks (grouped by the shell, so
// the user quoted it there) gets its value quoted so that it stays one item.
// Commas still separate items, as they do on the original command line.
std::string commandLineFromArguments(const std::vector<std::string>& arguments);

// The default paths on this platform.
std::string defaultScriptFile();
std::string defaultTempFile();
// Expands "%p" in a temporary file name to the process id.
std::string expandProcessId(const std::string& path);

}  // namespace kestrel
