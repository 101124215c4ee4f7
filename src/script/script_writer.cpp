#include "script/script_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>

#include "base/platform.h"
#include "script/script_reader.h"

namespace kestrel {

namespace {

bool isHexDigit(char ch) { return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'); }

// Only a specification that the reader takes back bare as the very same five
// characters is written unquoted; x'0d', or a longer text that merely starts
// with X', would come back changed or split, so those are quoted.
bool isBareHexSpecification(const std::string& value) {
  return value.size() == 5 && value[0] == 'X' && value[1] == '\'' && isHexDigit(value[2]) &&
         isHexDigit(value[3]) && value[4] == '\'';
}

std::string nameText(const std::string& name) {
  // The header keeps its double quotes unless the name itself holds one.
  if (name.find('"') != std::string::npos) return "'" + name + "'";
  return "\"" + name + "\"";
}

bool listIsRepresentable(const ParagraphList& list) {
  for (const Paragraph& paragraph : list.paragraphs) {
    if (!representableInScript(paragraph.name)) return false;
    for (const Command& command : paragraph.commands) {
      if (!representableInScript(command.argument)) return false;
      for (const KeywordValue& value : command.values) {
        if (!representableInScript(value.value)) return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string scriptValueText(const std::string& value) {
  if (isBareHexSpecification(value)) return value;
  std::size_t quote = value.find_first_of("'\"");
  if (quote != std::string::npos && value[quote] == '"') return "'" + value + "'";
  return "\"" + value + "\"";
}

bool representableInScript(const std::string& text) {
  return text.size() <= ScriptReader::kMaxToken &&
         text.find_first_of("\r\n") == std::string::npos &&
         (text.find('\'') == std::string::npos || text.find('"') == std::string::npos);
}

bool ParagraphList::Write(std::ostream& stream) const {
  // A text the format cannot hold would read back as something else, or not
  // at all: refuse before anything is written.
  if (!listIsRepresentable(*this)) return false;

  std::time_t now = programClock().now();
  std::tm local{};
  localtime_r(&now, &local);
  char header[64];
  std::snprintf(header, sizeof header, "* Last updated: %04d-%02d-%02d at %02d:%02d *\n\n",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  if (!(stream << header)) return false;

  for (const Paragraph& paragraph : paragraphs) {
    std::string text = paragraph.entry->keyword + ": " + nameText(paragraph.name) + "\n";
    for (const Command& command : paragraph.commands) {
      text += "  " + command.entry->command + " " + scriptValueText(command.argument);
      for (const KeywordValue& value : command.values) {
        text += " " + value.entry->keyword + "=" + scriptValueText(value.value);
      }
      text += "\n";
    }
    text += "\n";
    if (!(stream << text)) return false;
  }
  return static_cast<bool>(stream.flush());
}

bool ScriptWriter::Save(const std::string& fileName, const ParagraphList* paragraphs,
                        std::string* reason) {
  auto fail = [reason](const std::string& why) {
    if (reason) *reason = why;
    return false;
  };
  if (fileName.empty()) return fail("No script file name given");
  if (!paragraphs) return fail("No script to save");
  if (!listIsRepresentable(*paragraphs)) {
    return fail(
        "A name or value cannot be written to a script file (longer than 254 characters, a line "
        "end, or both quote characters)");
  }
  std::ostringstream image;
  if (!paragraphs->Write(image)) return fail("The script could not be formatted");
  const std::string content = image.str();

  // The file that is replaced: a symbolic link stays and its target is saved.
  std::string target = fileName;
  if (char* resolved = realpath(fileName.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  struct stat old {};
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return fail("'" + fileName + "' is not a regular file");
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary =
      folder + (folder.ends_with('/') ? "" : "/") + "." + base + ".saving-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    return fail("Cannot create a new file in '" + folder + "': " + std::strerror(errno));
  }
  auto abandon = [&](const std::string& what) {
    const std::string why = what + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(temporary.c_str());
    return fail(why);
  };
  mode_t mode = 0;
  if (exists) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0) return abandon("Cannot set the permissions of the new file");
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("Cannot write '" + temporary + "'");
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) return abandon("Cannot write '" + temporary + "' to the disk");
  if (::close(fd) != 0) {
    const std::string why =
        std::string("Cannot write '") + temporary + "': " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return fail(why);
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const std::string why =
        "Cannot replace '" + target + "' by the new file: " + std::string(std::strerror(errno));
    ::unlink(temporary.c_str());
    return fail(why);
  }
  // The rename itself reaches the disk with the folder.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (folderFd >= 0) {
    fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace kestrel
