#include "settings/IniFile.h"

#include "settings/IniText.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace zyfar {

using namespace ini_text;

// ---------------------------------------------------------------------------
// Parsing

IniDocument IniDocument::Parse(std::string_view text) { return FromText(std::string(text)); }

IniDocument IniDocument::FromText(std::string&& text) {
    auto buffer = std::make_shared<std::string>(std::move(text));
    std::string& t = *buffer;
    std::size_t skip = 0;
    if (t.size() >= 3 && t.compare(0, 3, "\xEF\xBB\xBF") == 0) skip = 3;
    if (t.find('\r') != std::string::npos) {
        // CR LF becomes LF; a lone CR stays where it is.
        std::size_t out = 0;
        for (std::size_t i = skip; i < t.size(); ++i) {
            if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') continue;
            t[out++] = t[i];
        }
        t.resize(out);
    } else if (skip) {
        t.erase(0, skip);
    }
    if (!t.empty() && t.back() != '\n') t.push_back('\n');
    return Build(std::move(buffer));
}

IniDocument IniDocument::Build(std::shared_ptr<std::string> text) {
    IniDocument doc;
    doc.buffer_ = std::move(text);
    const std::string_view all(*doc.buffer_);

    // Only lines whose first non-blank character is "[" start a block, so
    // jump from one "[" to the next instead of looking at every line.
    struct Header {
        std::size_t lineStart;
        std::string_view name;
    };
    std::vector<Header> headers;
    std::size_t pos = 0;
    while ((pos = all.find('[', pos)) != std::string_view::npos) {
        std::size_t lineStart = pos;
        while (lineStart > 0 && all[lineStart - 1] != '\n' && IsWhiteSpace(all[lineStart - 1])) --lineStart;
        const std::size_t nl = all.find('\n', pos);
        const std::size_t next = nl == std::string_view::npos ? all.size() : nl + 1;
        if (lineStart == 0 || all[lineStart - 1] == '\n') {
            if (auto name = HeaderName(all.substr(lineStart, next - lineStart)))
                headers.push_back({lineStart, *name});
        }
        pos = next;
    }

    doc.blocks_.reserve(headers.size() + 1);
    doc.index_.reserve(headers.size());
    if (headers.empty() || headers.front().lineStart > 0) {
        Block lead;
        lead.view = all.substr(0, headers.empty() ? all.size() : headers.front().lineStart);
        if (!lead.view.empty()) doc.blocks_.push_back(std::move(lead));
    }
    for (std::size_t h = 0; h < headers.size(); ++h) {
        const std::size_t end = h + 1 < headers.size() ? headers[h + 1].lineStart : all.size();
        Block b;
        b.name = std::string(headers[h].name);
        b.header = true;
        b.view = all.substr(headers[h].lineStart, end - headers[h].lineStart);
        std::string lower = ToLowerAscii(b.name);
        if (!doc.index_.emplace(lower, doc.blocks_.size()).second) doc.duplicated_.insert(std::move(lower));
        doc.blocks_.push_back(std::move(b));
    }
    return doc;
}

std::vector<std::string_view> IniDocument::Pieces() const {
    std::vector<std::string_view> pieces;
    bool lastFromText = false;  // the last piece is a view into the parsed text
    for (const Block& b : blocks_) {
        if (!b.live) continue;
        const std::string_view t = b.Text();
        if (t.empty()) continue;
        // Unchanged neighbours are adjacent in the parsed text: join them.
        if (!b.owned && lastFromText && pieces.back().data() + pieces.back().size() == t.data())
            pieces.back() = std::string_view(pieces.back().data(), pieces.back().size() + t.size());
        else
            pieces.push_back(t);
        lastFromText = !b.owned;
    }
    // A reader drops one BOM at the start; text that starts with BOM bytes of
    // its own (a file that had two) gets one in front, so it reads back as it is.
    static constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (!pieces.empty() && pieces.front().substr(0, kBom.size()) == kBom) pieces.insert(pieces.begin(), kBom);
    return pieces;
}

std::string IniDocument::Serialize() const {
    const auto pieces = Pieces();
    std::size_t total = 0;
    for (const auto p : pieces) total += p.size();
    std::string out;
    out.reserve(total);
    for (const auto p : pieces) out.append(p);
    return out;
}

// ---------------------------------------------------------------------------
// Blocks

std::string& IniDocument::Block::Own() {
    if (!owned) {
        text.assign(view);
        view = {};
        owned = true;
    }
    return text;
}

const IniDocument::Block* IniDocument::FirstBlock(std::string_view section) const {
    const auto it = index_.find(ToLowerAscii(Trim(section)));
    return it == index_.end() ? nullptr : &blocks_[it->second];
}

std::vector<std::size_t> IniDocument::BlocksNamed(const std::string& lowerName) const {
    const auto it = index_.find(lowerName);
    if (it == index_.end()) return {};
    if (!duplicated_.count(lowerName)) return {it->second};
    std::vector<std::size_t> all;
    for (std::size_t i = it->second; i < blocks_.size(); ++i)
        if (blocks_[i].live && blocks_[i].header && EqualsNoCase(blocks_[i].name, lowerName)) all.push_back(i);
    return all;
}

void IniDocument::Kill(std::size_t block) {
    Block& b = blocks_[block];
    b.live = false;
    b.owned = false;
    b.text = std::string();
    b.view = {};
}

IniDocument::Block* IniDocument::FirstBlock(std::string_view section) {
    return const_cast<Block*>(std::as_const(*this).FirstBlock(section));
}

void IniDocument::AppendBlock(std::string name, std::string text) {
    Block b;
    b.header = true;
    b.owned = true;
    b.text = std::move(text);
    std::string lower = ToLowerAscii(name);
    if (!index_.emplace(lower, blocks_.size()).second) duplicated_.insert(std::move(lower));
    b.name = std::move(name);
    blocks_.push_back(std::move(b));
}

// ---------------------------------------------------------------------------
// Reads

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const Block* b = FirstBlock(section);
    if (!b) return std::nullopt;
    const std::string_view wanted = Trim(key);
    std::optional<std::string> found;
    ForEachEntry(b->Text(), b->header, [&](const EntryLine& e) {
        if (!EqualsNoCase(e.key, wanted)) return true;
        found = std::string(e.value);
        return false;
    });
    return found;
}

IniDocument::Entries IniDocument::GetSection(std::string_view section) const {
    Entries out;
    const Block* b = FirstBlock(section);
    if (!b) return out;
    std::unordered_set<std::string> seen;
    ForEachEntry(b->Text(), b->header, [&](const EntryLine& e) {
        if (seen.insert(ToLowerAscii(e.key)).second) out.emplace_back(std::string(e.key), std::string(e.value));
        return true;
    });
    return out;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const Block& b = blocks_[i];
        if (!b.live || !b.header) continue;
        const auto it = index_.find(ToLowerAscii(b.name));
        if (it != index_.end() && it->second == i) out.push_back(b.name);
    }
    return out;
}

bool IniDocument::HasSection(std::string_view section) const { return FirstBlock(section) != nullptr; }

// ---------------------------------------------------------------------------
// Writes

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!ValidSectionName(section) || !ValidKeyName(key) || !ValidValue(value)) return false;
    const std::string_view sec = Trim(section);
    const std::string_view k = Trim(key);
    const std::string_view v = Trim(value);

    Block* b = FirstBlock(sec);
    if (!b) {
        std::string text;
        text.reserve(sec.size() + k.size() + v.size() + 5);
        text.append("[").append(sec).append("]\n").append(k).append("=").append(v).append("\n");
        AppendBlock(std::string(sec), std::move(text));
        Changed();
        return true;
    }

    const std::string_view text = b->Text();
    std::optional<EntryLine> match;
    std::size_t insertAt = HeaderLineEnd(text, b->header);
    ForEachEntry(text, b->header, [&](const EntryLine& e) {
        if (EqualsNoCase(e.key, k)) {
            match = e;
            return false;
        }
        insertAt = e.lineEnd;
        return true;
    });
    if (match) {
        if (match->value == v) return true;  // nothing to change
        // Keep the key's spelling in the file, replace the rest of the line.
        std::string line(match->key);
        line.append("=").append(v).append("\n");
        const std::size_t start = match->lineStart;
        const std::size_t length = match->lineEnd - match->lineStart;
        b->Own().replace(start, length, line);
    } else {
        // A new key goes after the section's last entry (or its header), so
        // blank lines and comments that close the section stay behind it.
        std::string line(k);
        line.append("=").append(v).append("\n");
        b->Own().insert(insertAt, line);
    }
    Changed();
    return true;
}

bool IniDocument::RemoveKey(std::string_view section, std::string_view key) {
    Block* b = FirstBlock(section);
    if (!b) return false;
    const std::string_view k = Trim(key);
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    ForEachEntry(b->Text(), b->header, [&](const EntryLine& e) {
        if (EqualsNoCase(e.key, k)) ranges.emplace_back(e.lineStart, e.lineEnd);
        return true;
    });
    if (ranges.empty()) return false;
    std::string& text = b->Own();
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) text.erase(it->first, it->second - it->first);
    Changed();
    return true;
}

bool IniDocument::RemoveSection(std::string_view section) {
    const std::string lower = ToLowerAscii(Trim(section));
    const auto blocks = BlocksNamed(lower);
    if (blocks.empty()) return false;
    for (std::size_t i : blocks) Kill(i);
    index_.erase(lower);
    duplicated_.erase(lower);
    Changed();
    return true;
}

bool IniDocument::RenameSection(std::string_view from, std::string_view to) {
    if (!ValidSectionName(to)) return false;
    const std::string lowerFrom = ToLowerAscii(Trim(from));
    const std::string_view newName = Trim(to);
    std::string lowerTo = ToLowerAscii(newName);
    if (index_.count(lowerTo)) return false;
    const auto it = index_.find(lowerFrom);
    if (it == index_.end()) return false;
    const std::size_t i = it->second;
    Block& b = blocks_[i];
    std::string& text = b.Own();
    std::string header;
    header.reserve(newName.size() + 3);
    header.append("[").append(newName).append("]\n");
    text.replace(0, HeaderLineEnd(text, true), header);
    b.name = std::string(newName);
    index_.erase(it);
    index_.emplace(std::move(lowerTo), i);
    // A later section of the old name, if any, is now the first of that name.
    if (duplicated_.count(lowerFrom)) {
        std::size_t remaining = 0;
        for (std::size_t j = i + 1; j < blocks_.size(); ++j) {
            const Block& d = blocks_[j];
            if (!d.live || !d.header || !EqualsNoCase(d.name, lowerFrom)) continue;
            if (remaining++ == 0) index_.emplace(lowerFrom, j);
        }
        if (remaining < 2) duplicated_.erase(lowerFrom);
    }
    Changed();
    return true;
}

bool IniDocument::ReplaceSection(std::string_view section, const Entries& entries) {
    if (!ValidSectionName(section)) return false;
    for (const auto& [k, v] : entries)
        if (!ValidKeyName(k) || !ValidValue(v)) return false;
    const std::string_view sec = Trim(section);

    std::string body;
    for (const auto& [k, v] : entries) body.append(Trim(k)).append("=").append(Trim(v)).append("\n");

    const std::string lower = ToLowerAscii(sec);
    const auto blocks = BlocksNamed(lower);
    if (blocks.empty()) {
        std::string text;
        text.reserve(sec.size() + 3 + body.size());
        text.append("[").append(sec).append("]\n").append(body);
        AppendBlock(std::string(sec), std::move(text));
        Changed();
        return true;
    }

    bool changed = false;
    Block& first = blocks_[blocks.front()];
    const std::string_view old = first.Text();
    // Keep the header line as written and the blank lines and comments after
    // the last entry; replace everything in between.
    const std::size_t headerEnd = HeaderLineEnd(old, first.header);
    std::size_t tailStart = headerEnd;
    ForEachEntry(old, first.header, [&](const EntryLine& e) {
        tailStart = e.lineEnd;
        return true;
    });
    std::string replaced;
    replaced.reserve(headerEnd + body.size() + (old.size() - tailStart));
    replaced.append(old.substr(0, headerEnd)).append(body).append(old.substr(tailStart));
    if (replaced != old) {
        first.Own() = std::move(replaced);
        changed = true;
    }
    // Later sections of the same name would be invisible to reads; drop them.
    for (std::size_t n = 1; n < blocks.size(); ++n) {
        Kill(blocks[n]);
        changed = true;
    }
    duplicated_.erase(lower);
    if (changed) Changed();
    return true;
}

// ---------------------------------------------------------------------------

int ParseLeadingInt(std::string_view text) {
    const std::string_view t = Trim(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    long long magnitude = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
        magnitude = magnitude * 10 + (t[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) magnitude = static_cast<long long>(INT_MAX) + 1;
    }
    const long long value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace zyfar
