#include "script/script_grammar.h"

namespace kestrel {

namespace {
namespace k = keyword_id;
namespace c = command_id;

constexpr bool kOnce = false;
constexpr bool kRepeatable = true;
constexpr bool kRequired = true;
constexpr bool kOptional = false;
}  // namespace

const KeywordEntry* CommandEntry::findKeyword(std::string_view keyword) const {
  for (const KeywordEntry& entry : keywords) {
    if (entry.keyword == keyword) return &entry;
  }
  return nullptr;
}

const KeywordEntry* CommandEntry::findKeyword(int keywordId) const {
  for (const KeywordEntry& entry : keywords) {
    if (entry.id == keywordId) return &entry;
  }
  return nullptr;
}

const CommandEntry* ParagraphEntry::findCommand(std::string_view word) const {
  for (const CommandEntry& entry : commands) {
    if (entry.command == word) return &entry;
  }
  return nullptr;
}

const CommandEntry* ParagraphEntry::findCommand(int commandId) const {
  for (const CommandEntry& entry : commands) {
    if (entry.id == commandId) return &entry;
  }
  return nullptr;
}

const ScriptGrammar& ScriptGrammar::instance() {
  static const ScriptGrammar grammar;
  return grammar;
}

const ParagraphEntry* ScriptGrammar::findParagraph(std::string_view keyword) const {
  for (const ParagraphEntry& entry : paragraphs_) {
    if (entry.keyword == keyword) return &entry;
  }
  return nullptr;
}

const ParagraphEntry* ScriptGrammar::paragraphOfKind(int kind) const {
  for (const ParagraphEntry& entry : paragraphs_) {
    if (entry.kind == kind) return &entry;
  }
  return nullptr;
}

ScriptGrammar::ScriptGrammar() {
  paragraphs_ = {
      {"COPYDEFINITION",
       kCopyKind,
       {
           {"FROM",
            c::From,
            kOnce,
            {{"QUALIFIER", k::Qualifier, kOptional},
             {"CREATOR", k::Creator, kOptional},
             {"TABLE", k::Table, kOptional},
             {"USERID", k::Userid, kOptional},
             {"PASSWORD", k::Password, kOptional},
             {"QUOTE", k::Quote, kOptional},
             {"WHERE", k::Where, kOptional},
             {"ORDERBY", k::OrderBy, kOptional},
             {"EVERY", k::Every, kOptional},
             {"FIRST", k::First, kOptional},
             {"DISCONNECT", k::Disconnect, kOptional},
             {"REPLICATE", k::Replicate, kOptional},
             {"INACTIVE", k::Inactive, kOptional},
             {"SELECT", k::Select, kOptional},
             {"LOCK", k::Lock, kOptional}}},
           {"TO",
            c::To,
            kOnce,
            {{"QUALIFIER", k::Qualifier, kOptional},
             {"CREATOR", k::Creator, kOptional},
             {"TABLE", k::Table, kRequired},
             {"USERID", k::Userid, kOptional},
             {"PASSWORD", k::Password, kOptional},
             {"QUOTE", k::Quote, kOptional},
             {"WHERE", k::Where, kOptional},
             {"UPDATE", k::Update, kOptional},
             {"DISCONNECT", k::Disconnect, kOptional}}},
           {"COPY",
            c::Copy,
            kRepeatable,
            {{"TO", k::To, kOptional},
             {"TRANS", k::Trans, kOptional},
             {"KEY", k::Key, kOptional},
             {"LOG", k::Log, kOptional},
             {"HEX", k::Hex, kOptional},
             {"FORMAT", k::Format, kOptional},
             {"EDIT", k::Edit, kOptional},
             {"LEFTTRIM", k::LeftTrim, kOptional},
             {"UNCHANGED", k::Unchanged, kOptional}}},
           {"SET",
            c::Set,
            kRepeatable,
            {{"VALUE", k::Value, kOptional}, {"CURRENTDATE", k::CurrentDate, kOptional}}},
           {"AUTORUN", c::Autorun, kOnce, {}},
       }},
      {"TRANSLATETABLE",
       kTranslateKind,
       {
           {"TRANS", c::Trans, kRepeatable, {{"TO", k::To, kRequired}}},
       }},
      {"EDITDEFINITION",
       kEditKind,
       {
           {"CODED", c::Coded, kOnce, {}},
           {"CHANGE", c::Change, kRepeatable, {{"TO", k::To, kRequired}}},
       }},
      {"TIMERDEFINITION",
       kTimerKind,
       {
           {"START",
            c::Start,
            kOnce,
            {{"TIME", k::Time, kRequired},
             {"EVERY", k::Every, kOptional},
             {"DAYS", k::Days, kOptional}}},
           {"RETRY", c::Retry, kOnce, {{"INTERVAL", k::Interval, kOptional}}},
       }},
      {"LOCKDEFINITION",
       kLockKind,
       {
           {"SOURCE",
            c::Source,
            kOnce,
            {{"SELECT", k::Select, kRequired},
             {"USERID", k::Userid, kOptional},
             {"PASSWORD", k::Password, kOptional}}},
           {"ACCEPT", c::Accept, kOnce, {{"VALUE", k::Value, kRequired}}},
       }},
  };
}

}  // namespace kestrel
