// libFuzzer target for the script reader and writer. Each input is read as a
// script file into a model and a paragraph list at once; when the list can
// be written, the written text must read back to the same list.
//
// Build and run (clang with libFuzzer; the default g++ build ignores this):
//
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKESTREL_FUZZ=ON \
//         -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_TESTS=OFF
//   cmake --build build-fuzz -j2 --target script_reader_fuzz
//   mkdir -p build-fuzz/corpus
//   build-fuzz/bin/script_reader_fuzz build-fuzz/corpus fuzz/seeds -max_len=20000 \
//         -max_total_time=300 -dict=fuzz/script.dict
//
// A crash leaves crash-<hash> in the current folder; run the target on that
// file alone to reproduce it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/message_log.h"
#include "base/parameter_file.h"
#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "schedule/lock_definition.h"
#include "script/definitions.h"
#include "script/paragraph_list.h"
#include "script/script_reader.h"

namespace {

using namespace kestrel;

std::string image(const ParagraphList& list) {
  std::string text;
  for (const Paragraph& paragraph : list.paragraphs) {
    text += paragraph.entry->keyword + '\0' + paragraph.name + '\n';
    for (const Command& command : paragraph.commands) {
      text += command.entry->command + '\0' + command.argument + '\n';
      for (const KeywordValue& value : command.values) {
        text += value.entry->keyword + '\0' + value.value + '\n';
      }
    }
  }
  return text;
}

bool readText(const std::string& text, MessageLog& log, const ParameterFile& options,
              ScriptModel* model, ParagraphList* list) {
  // fmemopen refuses a size of 0.
  std::string bytes = text.empty() ? std::string(" ") : text;
  std::FILE* file = ::fmemopen(bytes.data(), bytes.size(), "rb");
  if (!file) std::abort();
  ScriptReader reader(log, &options);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(model);
  reader.setListener(list);
  bool ok = reader.Load(file, "fuzz.txt");
  std::fclose(file);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryProfile profile;
  static ParameterFile* options = [] {
    auto* parameters = new ParameterFile(profile);
    DefineKestrelOptions(*parameters);
    parameters->Assign("ListScript=1");
    parameters->Assign("DebugMode=1");
    parameters->Assign("TimerDebugging=1");
    return parameters;
  }();
  static MessageLog log;
  static bool configured = false;
  if (!configured) {
    log.Configure(MessageLog::kMinMaxLines, "", true);
    configured = true;
  }

  const std::string input(reinterpret_cast<const char*>(data), size);
  ScriptModel model(log);
  ParagraphList list;
  bool ok = readText(input, log, *options, &model, &list);
  if (!ok && !model.empty()) std::abort();  // a failed reading never leaves definitions
  if (!ok) return 0;

  std::ostringstream written;
  if (!list.Write(written)) return 0;  // a text the format cannot hold
  ParagraphList reread;
  if (!readText(written.str(), log, *options, nullptr, &reread)) std::abort();
  if (image(reread) != image(list)) std::abort();
  return 0;
}
