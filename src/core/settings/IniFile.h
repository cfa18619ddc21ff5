#pragma once
// Section/key text files ("private profile" files): the queue file, site
// profiles, file lists, link files and the per-user settings file itself.
//
// Semantics:
//  - section and key names match without regard to ASCII case;
//  - the first occurrence of a section or key wins for reads, and writes
//    change that first occurrence;
//  - blanks around names and values are trimmed, inner blanks are kept;
//  - no quoting or escaping: a value is the rest of the line after the first
//    "=", trimmed;
//  - a missing or unreadable file reads as empty.
//
// Writes are atomic (temporary file in the same folder, flush, fsync, rename),
// create files with mode 0600 and are serialised by a mutex per canonical path
// inside the process and an flock on "<file>.lock" across processes. A key,
// section or value containing CR, LF or NUL is refused (the write returns
// false and changes nothing).
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zyfar {

// One parsed file. The original lines are kept in order, so a rewrite leaves
// unrelated lines, comments and the order of sections untouched.
class IniDocument {
public:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    IniDocument() = default;

    // Never fails: lines that are neither a section header nor "key=value"
    // are kept verbatim and ignored by lookups. A UTF-8 BOM at the start is
    // dropped, CR LF and LF line ends are both accepted.
    [[nodiscard]] static IniDocument Parse(std::string_view text);
    // The same, taking over the text instead of copying it (for large files).
    [[nodiscard]] static IniDocument FromText(std::string&& text);

    // The file text with "\n" line ends. Unchanged lines come back byte for
    // byte as they were read (minus the CR of a CR LF line end); the last
    // line always ends with "\n".
    [[nodiscard]] std::string Serialize() const;

    // The serialised text as consecutive pieces (unchanged neighbouring
    // sections come out as one piece), for writing without building one
    // string. Valid until the document changes.
    [[nodiscard]] std::vector<std::string_view> Pieces() const;

    [[nodiscard]] std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Changes the first occurrence of the key in the first section of that
    // name; appends the key at the end of the section, or the section at the
    // end of the document, when new. Returns false (and changes nothing) when
    // a name or the value holds CR, LF or NUL, or a name is unusable (empty
    // key, key holding "=" or starting with "[" or ";", section holding "]").
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every occurrence of the key from the first section of that
    // name. True when something was removed.
    bool RemoveKey(std::string_view section, std::string_view key);

    // Removes every section of that name with all its lines. True when
    // something was removed.
    bool RemoveSection(std::string_view section);

    // The keys of the first section of that name in file order, first
    // occurrence of each key only.
    [[nodiscard]] Entries GetSection(std::string_view section) const;

    // Replaces the content of the first section of that name (creating it at
    // the end when absent) by the given entries; other sections of the same
    // name are removed. Returns false and changes nothing on unusable input.
    bool ReplaceSection(std::string_view section, const Entries& entries);

    // Gives the first section named `from` the name `to`, in place and with
    // its lines as they are. False (nothing changed) when there is no such
    // section, `to` is unusable, or a section named `to` exists already.
    // Cheap: renumbering thousands of sections stays linear.
    bool RenameSection(std::string_view from, std::string_view to);

    // Section names in file order, first occurrence of each name only, with
    // the spelling of that first occurrence.
    [[nodiscard]] std::vector<std::string> SectionNames() const;

    [[nodiscard]] bool HasSection(std::string_view section) const;

    // Incremented by every change; lets batch updates find out whether a
    // callback changed anything.
    [[nodiscard]] std::size_t ChangeCount() const { return changes_; }

private:
    // A document is a list of blocks: the lines before the first section
    // header, then one block per section header with every line up to the
    // next header. Unchanged blocks are views into the parsed text (shared
    // between copies); a changed block owns its text. Every line of a block
    // ends with "\n".
    struct Block {
        std::string name;             // trimmed section name ("" before the first header)
        bool header = false;          // false for the lines before the first header
        bool live = true;             // false once the section was removed
        bool owned = false;           // text lives in `text`, not in `view`
        std::string_view view;
        std::string text;
        [[nodiscard]] std::string_view Text() const { return owned ? std::string_view(text) : view; }
        std::string& Own();
    };

    static IniDocument Build(std::shared_ptr<std::string> text);
    [[nodiscard]] std::vector<std::size_t> BlocksNamed(const std::string& lowerName) const;
    void Kill(std::size_t block);
    [[nodiscard]] const Block* FirstBlock(std::string_view section) const;
    [[nodiscard]] Block* FirstBlock(std::string_view section);
    void AppendBlock(std::string name, std::string text);
    void Changed() { ++changes_; }

    std::shared_ptr<const std::string> buffer_;
    std::vector<Block> blocks_;
    // Lower-cased section name -> the first live block of that name (the
    // one reads and writes use); names with more than one block.
    std::unordered_map<std::string, std::size_t> index_;
    std::unordered_set<std::string> duplicated_;
    std::size_t changes_ = 0;
};

// The Windows-style file functions. `file` goes through ResolvePrivateFile():
// a bare name lies in the settings folder.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file);

// The leading decimal integer (optional sign) of the trimmed value; a value
// without leading digits gives 0; an absent key gives def. Out-of-range
// numbers are clamped to the int range.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& file);

// The stored text, or nothing when the key (or the file) is absent.
std::optional<std::string> FindPrivateProfileString(const std::string& section, const std::string& key,
                                                    const std::string& file);

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file);

std::vector<std::pair<std::string, std::string>> GetPrivateProfileSection(const std::string& section,
                                                                          const std::string& file);

bool WritePrivateProfileSection(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::string& file);

// True when the key (every occurrence in the first section of that name) or
// the section (every section of that name) was there and the file was
// rewritten without it; false when there was nothing to remove or the file
// could not be written.
bool RemovePrivateProfileKey(const std::string& section, const std::string& key, const std::string& file);

bool RemovePrivateProfileSection(const std::string& section, const std::string& file);

// Batch form: loads the file once under both locks, lets fn change the
// document and writes it once (only when fn changed something). False when
// the file could not be read or written.
bool UpdatePrivateProfile(const std::string& file, const std::function<void(IniDocument&)>& fn);

// A consistent snapshot for many reads, served from a cache keyed by path,
// size and modification time (re-parsed when the file changes).
IniDocument ReadPrivateProfile(const std::string& file);

// Parses the leading decimal integer of a trimmed text the way
// GetPrivateProfileInt does (no digits gives 0, clamped to the int range).
[[nodiscard]] int ParseLeadingInt(std::string_view text);

}  // namespace zyfar
