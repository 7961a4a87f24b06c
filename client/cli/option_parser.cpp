#include "client/cli/option_parser.h"

#include <algorithm>
#include <charconv>

namespace orvane::client::cli {
namespace {

const OptionSpec* FindSpec(std::span<const OptionSpec> specs, std::string_view name) {
  const auto found = std::find_if(specs.begin(), specs.end(),
                                  [name](const OptionSpec& spec) { return spec.name == name; });
  return found == specs.end() ? nullptr : &*found;
}

}  // namespace

std::string ParsedOptions::Value(std::string_view name, std::string_view fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? std::string(fallback) : found->second;
}

std::optional<ParsedOptions> ParseOptions(std::span<const std::string> arguments,
                                          std::span<const OptionSpec> specs, std::string& error) {
  ParsedOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const size_t equals = argument.find('=');
    const std::string_view name = std::string_view(argument).substr(0, equals);
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr) {
      error = "unknown option: " + argument;
      return std::nullopt;
    }
    if (spec->value_name.empty()) {
      if (equals != std::string::npos) {
        error = std::string(name) + " takes no value";
        return std::nullopt;
      }
      options.Set(name, {});
    } else if (equals != std::string::npos) {
      options.Set(name, argument.substr(equals + 1));
    } else if (i + 1 < arguments.size()) {
      options.Set(name, arguments[++i]);
    } else {
      error = std::string(name) + " needs a value (" + std::string(spec->value_name) + ")";
      return std::nullopt;
    }
  }
  return options;
}

std::string FormatOptionHelp(std::span<const OptionSpec> specs) {
  std::vector<std::string> heads;
  size_t width = 0;
  for (const OptionSpec& spec : specs) {
    std::string head = std::string(spec.name);
    if (!spec.value_name.empty()) {
      head += " " + std::string(spec.value_name);
    }
    width = std::max(width, head.size());
    heads.push_back(std::move(head));
  }
  std::string text;
  for (size_t i = 0; i < specs.size(); ++i) {
    text += "  " + heads[i] + std::string(width - heads[i].size() + 2, ' ') +
            std::string(specs[i].help) + "\n";
  }
  return text;
}

std::optional<uint32_t> ParseNumber(std::string_view text, uint32_t min, uint32_t max) {
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (text.empty() || status != std::errc() || stop != end || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<uint32_t> NumberOption(const ParsedOptions& options, std::string_view name,
                                     uint32_t fallback, uint32_t min, uint32_t max,
                                     std::string& error) {
  if (!options.Has(name)) {
    return fallback;
  }
  const std::optional<uint32_t> value = ParseNumber(options.Value(name), min, max);
  if (!value) {
    error = std::string(name) + " needs a number from " + std::to_string(min) + " to " +
            std::to_string(max) + ", not \"" + options.Value(name) + "\"";
  }
  return value;
}

}  // namespace orvane::client::cli
