// SPDX-License-Identifier: GPL-3.0-or-later
// The edits of files that the user shares with us: Thunar's actions and mimeapps.list.
// Whatever is not ours stays byte for byte.
#include "shellfiles/DesktopFiles.h"

namespace kolvik {
namespace {

constexpr std::string_view kThunarId = "<unique-id>kolvik-besleutel</unique-id>";
constexpr std::string_view kEmptyThunarFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
constexpr std::string_view kDefaultsHeader = "[Default Applications]";

std::string_view Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string XmlText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string_view::npos; start = nl + 1)
        lines.emplace_back(text.substr(start, nl - start));
    lines.emplace_back(text.substr(start));  // "" when the text ends with a line end
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? "\n" : "") + lines[i];
    return out;
}

bool IsOurDefault(std::string_view line) {
    const std::string prefix = std::string(kKolvikMimeType) + "=";
    line = Trimmed(line);
    if (!line.starts_with(prefix)) return false;
    std::string_view value = Trimmed(line.substr(prefix.size()));
    if (!value.empty() && value.back() == ';') value.remove_suffix(1);
    return value == kDesktopEntryName;
}

bool IsDefaultFor(std::string_view line, std::string_view mimeType) {
    line = Trimmed(line);
    const auto eq = line.find('=');
    return eq != std::string_view::npos && Trimmed(line.substr(0, eq)) == mimeType;
}

std::string OurDefaultLine() {
    return std::string(kKolvikMimeType) + "=" + std::string(kDesktopEntryName);
}

// The lines [begin, end) of the defaults section after its header, or nullopt.
struct Section {
    std::size_t header, end;
};
std::optional<Section> DefaultsSection(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (Trimmed(lines[i]) != kDefaultsHeader) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !Trimmed(lines[end]).starts_with("[")) ++end;
        return Section{i, end};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> MergeThunarAction(std::string_view ucaXml, std::string_view program,
                                             std::string_view icon) {
    std::string text =
        Trimmed(ucaXml).empty() ? std::string(kEmptyThunarFile) : UnmergeThunarAction(ucaXml);
    if (text.empty()) text = kEmptyThunarFile;
    const auto close = text.rfind("</actions>");
    if (close == std::string::npos || text.find("<actions") == std::string::npos)
        return std::nullopt;
    // Thunar quotes the path it puts in for %f; the program is quoted here.
    std::string action;
    for (const std::string& line : {
             std::string("<action>"),
             "\t<icon>" + XmlText(icon) + "</icon>",
             "\t<name>" + std::string(kContextMenuText) + "</name>",
             std::string("\t<submenu></submenu>"),
             "\t" + std::string(kThunarId),
             "\t<command>" + XmlText(ShellQuote(program)) + " %f</command>",
             "\t<description>" + std::string(kContextMenuTip) + "</description>",
             std::string("\t<range></range>"),
             std::string("\t<patterns>*</patterns>"),
             std::string("\t<directories/>"),
             std::string("\t<audio-files/>"),
             std::string("\t<image-files/>"),
             std::string("\t<other-files/>"),
             std::string("\t<text-files/>"),
             std::string("\t<video-files/>"),
             std::string("</action>"),
         })
        action += line + "\n";
    const bool atLineStart = close == 0 || text[close - 1] == '\n';
    text.insert(close, atLineStart ? action : "\n" + action);
    return text;
}

std::string UnmergeThunarAction(std::string_view ucaXml) {
    std::string text(ucaXml);
    bool removed = false;
    for (std::size_t from = 0;;) {
        const auto open = text.find("<action>", from);
        if (open == std::string::npos) break;
        const auto close = text.find("</action>", open);
        if (close == std::string::npos) break;
        std::size_t end = close + std::string_view("</action>").size();
        if (text.find(kThunarId, open) > close) {
            from = end;
            continue;
        }
        // A block alone on its lines goes with its indent and its line end.
        std::size_t begin = open;
        while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t')) --begin;
        if (begin == 0 || text[begin - 1] == '\n') {
            std::size_t after = end;
            while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
            if (after < text.size() && text[after] == '\n') end = after + 1;
        } else {
            begin = open;
        }
        text.erase(begin, end - begin);
        from = begin;
        removed = true;
    }
    return removed && text == kEmptyThunarFile ? std::string() : text;
}

std::string SetDefaultApplication(std::string_view mimeappsList) {
    std::vector<std::string> lines = Lines(mimeappsList);
    if (const auto section = DefaultsSection(lines)) {
        // Ours takes the place of the first default for the type, or comes first.
        std::vector<std::size_t> earlier;
        for (std::size_t i = section->header + 1; i < section->end; ++i)
            if (IsDefaultFor(lines[i], kKolvikMimeType)) earlier.push_back(i);
        const std::size_t at = earlier.empty() ? section->header + 1 : earlier.front();
        for (auto i = earlier.rbegin(); i != earlier.rend(); ++i)
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*i));
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), OurDefaultLine());
        return Joined(lines);
    }
    std::string text(mimeappsList);
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (!text.empty()) text += '\n';
    return text + std::string(kDefaultsHeader) + "\n" + OurDefaultLine() + "\n";
}

std::string UnsetDefaultApplication(std::string_view mimeappsList) {
    std::vector<std::string> lines = Lines(mimeappsList);
    const auto section = DefaultsSection(lines);
    if (!section) return std::string(mimeappsList);
    std::size_t end = section->end;
    bool removed = false;
    for (std::size_t i = end; i-- > section->header + 1;) {
        if (!IsOurDefault(lines[i])) continue;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        --end;
        removed = true;
    }
    if (!removed) return std::string(mimeappsList);
    bool emptied = true;
    for (std::size_t i = section->header + 1; i < end; ++i) emptied &= Trimmed(lines[i]).empty();
    // An emptied last section is the one SetDefaultApplication appended: it goes with the
    // blank line before it; the line end of the text stays.
    if (emptied && end == lines.size()) {
        std::size_t begin = section->header;
        if (begin > 0 && Trimmed(lines[begin - 1]).empty()) --begin;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin), lines.end() - 1);
    }
    const std::string text = Joined(lines);
    return Trimmed(text).empty() ? std::string() : text;
}

}  // namespace kolvik
