#include "cli/rules_command.h"

#include "base/byte_path.h"
#include "cli/rule_suggestions.h"
#include "cli/user_preferences.h"
#include "cli/user_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <strings.h>

namespace zarnik::cli {
namespace {

std::vector<SmartSelectionRule> everyRuleKind() {
  std::vector<SmartSelectionRule> rules;
  for (auto kind : {SmartSelectionRule::Kind::sameUTIType, SmartSelectionRule::Kind::sameSoftware,
                    SmartSelectionRule::Kind::nonSoftwareAndOriginal}) {
    rules.emplace_back(kind);
  }
  for (const auto& rule : SmartSelectionRule::simpleRules()) rules.push_back(rule);
  return rules;
}

std::string ruleNames() {
  std::vector<std::string> names;
  for (const auto& rule : everyRuleKind()) {
    names.push_back(std::string(rule.identifier()) + (rule.hasPayload() ? " ARG" : ""));
  }
  return fmt::format("{}", fmt::join(names, ", "));
}

// The rule named (in any case) with its argument; an error saying what is expected.
Result<SmartSelectionRule> namedRule(const std::string& name, const std::string& argument) {
  for (const auto& rule : everyRuleKind()) {
    if (::strcasecmp(std::string(rule.identifier()).c_str(), name.c_str()) != 0) continue;
    if (rule.hasPayload() && argument.empty()) {
      return Error::generic(
          fmt::format("{} needs an argument (a type or an application's name)", rule.identifier()));
    }
    if (!rule.hasPayload() && !argument.empty()) {
      return Error::generic(fmt::format("{} takes no argument", rule.identifier()));
    }
    return SmartSelectionRule(rule.kind(), argument);
  }
  return Error::generic(fmt::format("{}: no such rule; the rules are {}", name, ruleNames()));
}

int list(const PreferencesController& preferences, bool json) {
  const auto& lists = preferences.lists();
  if (json) {
    Json document{{"always", Json::array()}, {"never", Json::array()}, {"smart", Json::array()}};
    for (const auto& rule : lists.selectionRules) {
      document[rule.kind == ZKSelectionRule::Kind::always ? "always" : "never"].push_back(
          rule.json());
    }
    for (const auto& rule : lists.smartSelectionRules) document["smart"].push_back(rule.json());
    fmt::print("{}\n", dumpJson(document, 2));
    return 0;
  }
  if (lists.selectionRules.empty() && lists.smartSelectionRules.empty()) {
    fmt::print("No selection rules.\n");
    return 0;
  }
  for (const auto& rule : lists.selectionRules) {
    fmt::print("{:<7}{}{}\n", identifier(rule.kind), displayPath(rule.path),
               rule.enabled ? "" : " (off)");
  }
  for (const auto& rule : lists.smartSelectionRules) {
    const auto& smart = rule.ruleInfo.rule;
    fmt::print("smart  {}{}: {}{}\n", smart.identifier(),
               smart.hasPayload() ? " " + smart.payload() : "", smart.description(),
               rule.isEnabled() ? "" : " (off)");
  }
  return 0;
}

int changePathRules(PreferencesController& preferences, ZKSelectionRule::Kind kind, bool adding,
                    const std::vector<std::string>& folders) {
  const std::string_view what = kind == ZKSelectionRule::Kind::always ? "always" : "never";
  int status = 0;
  for (const auto& folder : folders) {
    const std::string shown = displayPath(preferences.abbreviatedListPath(folder));
    if (adding) {
      auto added = kind == ZKSelectionRule::Kind::always ? preferences.alwaysSelectLocation(folder)
                                                         : preferences.neverSelectLocation(folder);
      if (added.hasError()) {
        printError(added.error().oneLine());
        return 1;
      }
      fmt::print("Copies inside {} are {} proposed for removal.\n", shown, what);
      continue;
    }
    auto removed = preferences.removeSelectionRule(kind, folder);
    if (removed.hasError()) {
      printError(removed.error().oneLine());
      return 1;
    }
    if (!removed.value()) {
      printError(fmt::format("{} has no {}-select rule", shown, what));
      status = 1;
      continue;
    }
    fmt::print("Removed the {}-select rule of {}.\n", what, shown);
  }
  return status;
}

// The rules the changes made by hand in the results under review suggest; nothing after telling why
// when the results cannot be read.
std::optional<std::vector<SmartSelectionRule>> pendingSuggestions(
    const PreferencesController& preferences) {
  auto session = restoreUserSession(std::make_shared<ScanningService>());
  if (!session) return std::nullopt;
  std::shared_ptr<DuplicatesDetectionResults> results;
  session->queue()->sync([&] {
    if (std::holds_alternative<ReviewingStatus>(session->status())) results = session->results();
  });
  if (!results) return std::vector<SmartSelectionRule>{};
  auto suggestions =
      ruleSuggestions(*results, preferences.extendedPreferences().autoselectionRules);
  if (suggestions.hasError()) {
    printError(suggestions.error().oneLine());
    return std::nullopt;
  }
  return std::move(suggestions.value().pending);
}

int listSuggestions(const PreferencesController& preferences, bool json) {
  auto suggestions = pendingSuggestions(preferences);
  if (!suggestions) return 1;
  if (json) {
    Json list = Json::array();
    for (size_t i = 0; i < suggestions->size(); ++i) {
      const auto& rule = (*suggestions)[i];
      list.push_back(
          {{"number", i + 1}, {"rule", rule.encode()}, {"question", rule.suggestionQuestion()}});
    }
    fmt::print("{}\n", dumpJson(Json{{"suggestions", std::move(list)}}, 2));
    return 0;
  }
  if (suggestions->empty()) {
    fmt::print(
        "No suggestions: they come after you have changed several groups by hand in the same "
        "way.\n");
    return 0;
  }
  for (size_t i = 0; i < suggestions->size(); ++i) {
    fmt::print("{}. {}\n   zarnik rules suggest accept {} adds the smart rule {}.\n", i + 1,
               (*suggestions)[i].suggestionQuestion(), i + 1, (*suggestions)[i].identifier());
  }
  return 0;
}

// Accepting adds the rule, turned on; declining keeps it turned off among the smart rules, so
// that it is not offered again and can be turned on later.
int decideSuggestion(PreferencesController& preferences, int number, bool accept) {
  auto suggestions = pendingSuggestions(preferences);
  if (!suggestions) return 1;
  if (number < 1 || static_cast<size_t>(number) > suggestions->size()) {
    printError(suggestions->empty()
                   ? std::string("there are no suggestions (zarnik rules suggest lists them)")
                   : fmt::format("there {} {} (zarnik rules suggest lists them)",
                                 suggestions->size() == 1 ? "is" : "are",
                                 suggestions->size() == 1
                                     ? std::string("1 suggestion")
                                     : fmt::format("{} suggestions", suggestions->size())));
    return 1;
  }
  const SmartSelectionRule& rule = (*suggestions)[static_cast<size_t>(number - 1)];
  if (auto added = preferences.addSmartSelectionRuleInfo({rule, accept}); added.hasError()) {
    printError(added.error().oneLine());
    return 1;
  }
  if (accept) {
    fmt::print("Added the smart rule {}; it applies from the next scan.\n", rule.description());
  } else {
    fmt::print(
        "Declined: the rule \"{}\" will not be suggested again. It is kept, turned off, among "
        "your smart rules; zarnik rules smart add {}{} turns it on.\n",
        rule.description(), rule.identifier(), rule.hasPayload() ? " " + rule.payload() : "");
  }
  return 0;
}

}  // namespace

RulesCommand::PathRules RulesCommand::addPathRules(const std::string& name,
                                                   const std::string& description,
                                                   const std::string& example) {
  PathRules rules;
  rules.command = command_->add_subcommand(name, description);
  rules.command->require_subcommand(1);
  rules.add = rules.command->add_subcommand("add", "Add folders");
  rules.add->add_option("DIR", folders_, "Folders")->required();
  rules.add->footer("Example:\n  " + example);
  rules.remove = rules.command->add_subcommand("remove", "Remove folders");
  rules.remove->add_option("DIR", folders_, "Folders")->required();
  rules.remove->footer("Example:\n  zarnik rules " + name + " remove ~/Photos");
  rules.command->footer("Example:\n  " + example);
  return rules;
}

RulesCommand::RulesCommand(CLI::App& app) {
  command_ = app.add_subcommand(
      "rules", "Keep selection rules: folders always or never proposed for removal, smart rules");
  command_->require_subcommand(1);
  command_->footer(
      "A copy inside an always-select folder is proposed for removal; a copy inside a "
      "never-select\n"
      "folder never is. The nearest enclosing folder with a rule decides. `zarnik scan "
      "--always-select`\n"
      "and `--never-select` add folders for one scan only.\n"
      "Examples:\n"
      "  zarnik rules never add ~/Photos\n"
      "  zarnik rules always add ~/Downloads\n"
      "  zarnik rules smart add NonNewestModificationDate\n"
      "  zarnik rules list\n"
      "  zarnik rules suggest");
  always_ = addPathRules("always", "Folders whose copies are always proposed for removal",
                         "zarnik rules always add ~/Downloads");
  never_ = addPathRules("never", "Folders whose copies are never proposed for removal",
                        "zarnik rules never add ~/Photos");
  smart_ = command_->add_subcommand("smart", "Smart selection rules (" + ruleNames() + ")");
  smart_->require_subcommand(1);
  smart_->footer("Example:\n  zarnik rules smart add SameSoftware GIMP");
  smartAdd_ = smart_->add_subcommand("add", "Add a smart rule");
  smartAdd_->add_option("RULE", rule_, "The rule's name")->required();
  smartAdd_->add_option("ARG", argument_,
                        "Its argument, for SameUTIType, SameSoftware and NonSoftwareAndOriginal");
  smartAdd_->footer("Example:\n  zarnik rules smart add NonLoved");
  smartRemove_ = smart_->add_subcommand("remove", "Remove a smart rule");
  smartRemove_->add_option("RULE", rule_, "The rule's name")->required();
  smartRemove_->add_option("ARG", argument_, "Its argument, if it has one");
  smartRemove_->footer("Example:\n  zarnik rules smart remove NonLoved");
  list_ = command_->add_subcommand("list", "Print the selection rules");
  list_->add_flag("--json", json_, "Print them as JSON: {always, never, smart}");
  list_->footer("Example:\n  zarnik rules list --json");
  suggest_ = command_->add_subcommand(
      "suggest", "List the smart rules your changes by hand suggest; accept or decline one");
  suggest_->add_flag("--json", json_,
                     "Print them as JSON: {suggestions: [{number, rule, question}]}");
  suggest_->footer(
      "Examples:\n  zarnik rules suggest\n  zarnik rules suggest accept 1\n  zarnik rules suggest "
      "decline 2");
  suggestAccept_ =
      suggest_->add_subcommand("accept", "Add the suggested rule N to your smart rules");
  suggestAccept_->add_option("N", suggestion_, "The suggestion's number")
      ->required()
      ->check(CLI::PositiveNumber);
  suggestAccept_->footer("Example:\n  zarnik rules suggest accept 1");
  suggestDecline_ = suggest_->add_subcommand(
      "decline", "Never suggest rule N again (it is kept, turned off, among your smart rules)");
  suggestDecline_->add_option("N", suggestion_, "The suggestion's number")
      ->required()
      ->check(CLI::PositiveNumber);
  suggestDecline_->footer("Example:\n  zarnik rules suggest decline 1");
}

int RulesCommand::run() const {
  std::optional<Result<SmartSelectionRule>> smart;
  if (smartAdd_->parsed() || smartRemove_->parsed()) {
    smart = namedRule(rule_, argument_);
    if (smart->hasError()) {
      printError(smart->error().oneLine());
      return 2;
    }
  }
  auto preferences = openUserPreferences();
  if (!preferences) return 1;
  if (list_->parsed()) return list(*preferences, json_);
  if (suggestAccept_->parsed()) return decideSuggestion(*preferences, suggestion_, true);
  if (suggestDecline_->parsed()) return decideSuggestion(*preferences, suggestion_, false);
  if (suggest_->parsed()) return listSuggestions(*preferences, json_);
  if (always_.add->parsed())
    return changePathRules(*preferences, ZKSelectionRule::Kind::always, true, folders_);
  if (always_.remove->parsed())
    return changePathRules(*preferences, ZKSelectionRule::Kind::always, false, folders_);
  if (never_.add->parsed())
    return changePathRules(*preferences, ZKSelectionRule::Kind::never, true, folders_);
  if (never_.remove->parsed())
    return changePathRules(*preferences, ZKSelectionRule::Kind::never, false, folders_);
  const SmartSelectionRule& rule = smart->value();
  if (smartAdd_->parsed()) {
    const auto& stored = preferences->lists().smartSelectionRules;
    const bool wasOff = std::any_of(stored.begin(), stored.end(), [&](const auto& info) {
      return info.ruleInfo.rule == rule && !info.isEnabled();
    });
    if (auto added = preferences->addSmartSelectionRuleInfo({rule, true}); added.hasError()) {
      printError(added.error().oneLine());
      return 1;
    }
    fmt::print("{} the smart rule {}.\n", wasOff ? "Turned on" : "Added", rule.description());
    return 0;
  }
  auto removed = preferences->removeSmartSelectionRule(rule);
  if (removed.hasError()) {
    printError(removed.error().oneLine());
    return 1;
  }
  if (!removed.value()) {
    printError(fmt::format("there is no smart rule {}", rule.identifier()));
    return 1;
  }
  fmt::print("Removed the smart rule {}.\n", rule.description());
  return 0;
}

}  // namespace zarnik::cli
