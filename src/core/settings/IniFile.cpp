#include "settings/IniFile.h"

#include "settings/IniText.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_set>

namespace zyfar {

using namespace ini_text;

// ---------------------------------------------------------------------------
// Parsing

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument doc;
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    // One private copy of the text with CR LF turned into LF and a final LF
    // added; every block is a view into it.
    auto buffer = std::make_shared<std::string>();
    buffer->reserve(text.size() + 1);
    if (text.find('\r') == std::string_view::npos) {
        buffer->assign(text);
    } else {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            buffer->push_back(text[i]);
        }
    }
    if (!buffer->empty() && buffer->back() != '\n') buffer->push_back('\n');
    doc.buffer_ = buffer;

    const std::string_view all(*doc.buffer_);
    std::size_t blockStart = 0;
    std::string blockName;
    bool blockHeader = false;
    auto closeBlock = [&](std::size_t end) {
        if (end == blockStart && !blockHeader) return;  // no lines before the first header
        Block b;
        b.name = blockName;
        b.header = blockHeader;
        b.view = all.substr(blockStart, end - blockStart);
        if (b.header) doc.index_[Lower(b.name)].push_back(doc.blocks_.size());
        doc.blocks_.push_back(std::move(b));
    };

    std::size_t pos = 0;
    while (pos < all.size()) {
        const std::size_t nl = all.find('\n', pos);
        const std::size_t next = nl == std::string_view::npos ? all.size() : nl + 1;
        const std::string_view line = all.substr(pos, next - pos);
        if (auto name = HeaderName(line)) {
            closeBlock(pos);
            blockStart = pos;
            blockName = std::string(*name);
            blockHeader = true;
        }
        pos = next;
    }
    closeBlock(all.size());
    return doc;
}

std::string IniDocument::Serialize() const {
    std::size_t total = 0;
    for (const Block& b : blocks_)
        if (b.live) total += b.Text().size();
    std::string out;
    out.reserve(total);
    for (const Block& b : blocks_)
        if (b.live) out.append(b.Text());
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
    const auto it = index_.find(Lower(Trim(section)));
    if (it == index_.end() || it->second.empty()) return nullptr;
    return &blocks_[it->second.front()];
}

IniDocument::Block* IniDocument::FirstBlock(std::string_view section) {
    return const_cast<Block*>(std::as_const(*this).FirstBlock(section));
}

void IniDocument::AppendBlock(std::string name, std::string text) {
    Block b;
    b.header = true;
    b.owned = true;
    b.text = std::move(text);
    index_[Lower(name)].push_back(blocks_.size());
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
        if (!EqualNoCase(e.key, wanted)) return true;
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
        if (seen.insert(Lower(e.key)).second) out.emplace_back(std::string(e.key), std::string(e.value));
        return true;
    });
    return out;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const Block& b = blocks_[i];
        if (!b.live || !b.header) continue;
        const auto it = index_.find(Lower(b.name));
        if (it != index_.end() && !it->second.empty() && it->second.front() == i) out.push_back(b.name);
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
        if (EqualNoCase(e.key, k)) {
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
        if (EqualNoCase(e.key, k)) ranges.emplace_back(e.lineStart, e.lineEnd);
        return true;
    });
    if (ranges.empty()) return false;
    std::string& text = b->Own();
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) text.erase(it->first, it->second - it->first);
    Changed();
    return true;
}

bool IniDocument::RemoveSection(std::string_view section) {
    const auto it = index_.find(Lower(Trim(section)));
    if (it == index_.end() || it->second.empty()) return false;
    for (std::size_t i : it->second) {
        blocks_[i].live = false;
        blocks_[i].owned = false;
        blocks_[i].text = std::string();
        blocks_[i].view = {};
    }
    index_.erase(it);
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

    const auto it = index_.find(Lower(sec));
    if (it == index_.end() || it->second.empty()) {
        std::string text;
        text.reserve(sec.size() + 3 + body.size());
        text.append("[").append(sec).append("]\n").append(body);
        AppendBlock(std::string(sec), std::move(text));
        Changed();
        return true;
    }

    bool changed = false;
    Block& first = blocks_[it->second.front()];
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
    for (std::size_t n = 1; n < it->second.size(); ++n) {
        Block& dup = blocks_[it->second[n]];
        dup.live = false;
        dup.owned = false;
        dup.text = std::string();
        dup.view = {};
        changed = true;
    }
    it->second.resize(1);
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
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (t[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) magnitude = static_cast<long long>(INT_MAX) + 1;
    }
    const long long value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace zyfar
