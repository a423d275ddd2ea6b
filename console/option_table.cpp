#include "console/option_table.hpp"

#include <algorithm>
#include <utility>

#include "console/command_line.hpp"

namespace tessmark {

namespace {

// `text` after a column of `width` spaces: every line but the first indented to it.
std::string inColumn(std::string_view text, std::size_t width) {
  std::string out;
  for (std::size_t from = 0;;) {
    const std::size_t end = text.find('\n', from);
    out += text.substr(from, end - from);
    out += '\n';
    if (end == std::string_view::npos) break;
    out.append(width, ' ');
    from = end + 1;
  }
  return out;
}

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text);
  out.resize(std::max(width, text.size()), ' ');
  return out;
}

const OptionRow* namedRow(const OptionTable& table, std::string_view name) {
  for (const OptionRow& row : table.rows) {
    if (row.kind == OptionRow::Kind::positional) continue;
    if (row.name == name || (!row.alias.empty() && row.alias == name)) return &row;
  }
  return nullptr;
}

const OptionRow* positionalRow(const OptionTable& table) {
  for (const OptionRow& row : table.rows) {
    if (row.kind == OptionRow::Kind::positional) return &row;
  }
  return nullptr;
}

}  // namespace

OptionRow helpRow(bool inSynopsis, std::function<std::string()> usage) {
  return {.kind = OptionRow::Kind::shows,
          .name = "--help",
          .alias = "-h",
          .synopsis = inSynopsis ? "[--help]" : "",
          .label = "-h, --help",
          .help = "show this text",
          .show = std::move(usage)};
}

OptionRow versionRow(std::string_view program) {
  return {.kind = OptionRow::Kind::shows,
          .name = "--version",
          .synopsis = "[--version]",
          .label = "--version",
          .help = "show the version and the Eigen version",
          .show = [program] { return versionText(program); }};
}

OptionReading readOptions(const OptionTable& table, std::span<const char* const> arguments) {
  const auto wrong = [&](const std::string& problem) {
    return OptionReading{OptionReading::Outcome::wrong, table.wrong(problem)};
  };
  if (table.showsFirst) {
    for (const char* argument : arguments) {
      const OptionRow* row = namedRow(table, argument);
      if (row != nullptr && row->kind == OptionRow::Kind::shows) {
        return {OptionReading::Outcome::show, row->show()};
      }
    }
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view whole = arguments[i];
    std::string_view name = whole;
    std::string_view value;
    bool attached = false;
    if (table.attachedValues) {
      CommandLineArgument argument(arguments, i);
      name = argument.option;
      attached = argument.hasValue;
      if (attached) argument.takeValue(value);
    }
    const OptionRow* row = namedRow(table, name);
    if (row == nullptr) {
      const OptionRow* positional = positionalRow(table);
      if (whole.starts_with(table.optionPrefix) || positional == nullptr) {
        return wrong("unknown option '" + std::string(whole) + "'");
      }
      if (std::string problem = positional->set(whole); !problem.empty()) return wrong(problem);
      continue;
    }
    if (row->kind != OptionRow::Kind::value && attached) {
      return wrong("unknown option '" + std::string(whole) + "'");
    }
    switch (row->kind) {
      case OptionRow::Kind::shows:
        return {OptionReading::Outcome::show, row->show()};
      case OptionRow::Kind::value:
        if (!attached) {
          if (i + 1 >= arguments.size()) return wrong(row->needs);
          value = arguments[++i];
        }
        break;
      case OptionRow::Kind::flag:
      case OptionRow::Kind::positional:
        break;
    }
    if (std::string problem = row->set(value); !problem.empty()) return wrong(problem);
  }
  return {};
}

std::string usageLine(const OptionTable& table) {
  const std::string head = "Usage: " + std::string(table.program);
  std::string text = head;
  std::size_t lineStart = 0;
  bool first = true;
  for (const OptionRow& row : table.rows) {
    if (row.synopsis.empty()) continue;
    if (!first && table.usageWidth != 0 &&
        text.size() - lineStart + 1 + row.synopsis.size() > table.usageWidth) {
      text += "\n";
      lineStart = text.size();
      text.append(head.size(), ' ');
    }
    text += " " + row.synopsis;
    first = false;
  }
  return text + "\n";
}

std::string optionList(const OptionTable& table) {
  std::size_t widest = 0;
  for (const OptionRow& row : table.rows) {
    if (table.widestLabel == 0 || row.label.size() <= table.widestLabel) {
      widest = std::max(widest, row.label.size());
    }
  }
  const std::size_t column = 2 + widest + 2;
  std::string list;
  for (const OptionRow& row : table.rows) {
    if (row.label.empty()) continue;
    if (row.label.size() > widest) {
      list += "  " + std::string(row.label) + "\n" + std::string(column, ' ');
    } else {
      list += "  " + padded(row.label, widest + 2);
    }
    list += inColumn(row.help, column);
  }
  return list;
}

std::string exitStatusList(std::span<const ExitStatusLine> lines) {
  std::size_t widest = 0;
  for (const ExitStatusLine& line : lines) {
    widest = std::max(widest, std::to_string(line.status & 0xff).size());
  }
  std::string list = "Exit status:\n";
  for (const ExitStatusLine& line : lines) {
    list += "  " + padded(std::to_string(line.status & 0xff), widest + 2) +
            inColumn(line.meaning, 2 + widest + 2);
  }
  return list;
}

}  // namespace tessmark
