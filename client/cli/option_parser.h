#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::client::cli {

struct OptionSpec {
  std::string_view name;        // with its dashes: "--port"
  std::string_view value_name;  // "N"; empty for a flag that takes no value
  std::string_view help;
};

// The options given on one command line, by name.
class ParsedOptions {
 public:
  bool Has(std::string_view name) const { return values_.find(name) != values_.end(); }
  std::string Value(std::string_view name, std::string_view fallback = {}) const;

  void Set(std::string_view name, std::string value) { values_[std::string(name)] = value; }

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

// Accepts "--name value" and "--name=value" for valued options and "--name" for flags; a
// later repeat wins. nullopt, with `error` set, on anything else.
std::optional<ParsedOptions> ParseOptions(std::span<const std::string> arguments,
                                          std::span<const OptionSpec> specs, std::string& error);

// One line per option: name, value name and help, aligned.
std::string FormatOptionHelp(std::span<const OptionSpec> specs);

// A decimal number within [min, max]; nullopt for anything else (signs, spaces, overflow).
std::optional<uint32_t> ParseNumber(std::string_view text, uint32_t min, uint32_t max);

// The option's value as a number, `fallback` when it is absent; nullopt, with `error`
// naming the option, when it is given but not a number within [min, max].
std::optional<uint32_t> NumberOption(const ParsedOptions& options, std::string_view name,
                                     uint32_t fallback, uint32_t min, uint32_t max,
                                     std::string& error);

}  // namespace orvane::client::cli
