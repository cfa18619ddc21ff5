// The section/key file reader. The first input line names a change
// ("section<TAB>key<TAB>value"; missing parts take the document's first
// section and key), the rest is the file. Whatever the text:
//  - writing the document out and reading it back gives the same sections
//    and keys;
//  - Set either refuses and changes nothing, or the key reads back as the
//    trimmed value, before and after a round trip, and no other section
//    changes;
//  - RemoveKey / RemoveSection leave nothing of the key / section behind.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "settings/IniFile.h"
#include "platform/TextUtil.h"
#include "settings/IniText.h"

namespace {

using zyfar::IniDocument;

struct Snapshot {
    std::vector<std::string> names;
    std::vector<IniDocument::Entries> sections;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// Every section and its keys, except the section named `skip` (when given).
Snapshot Take(const IniDocument& doc, const std::string* skip = nullptr) {
    Snapshot s;
    for (const std::string& name : doc.SectionNames()) {
        if (skip != nullptr && zyfar::EqualsNoCase(zyfar::ini_text::Trim(name), zyfar::ini_text::Trim(*skip)))
            continue;
        s.names.push_back(name);
        s.sections.push_back(doc.GetSection(name));
    }
    return s;
}

IniDocument RoundTrip(const IniDocument& doc) { return IniDocument::Parse(doc.Serialize()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = zyfar::fuzz::AsText(data, size);
    const std::size_t nl = input.find('\n');
    const std::string_view control = input.substr(0, nl);
    const std::string_view text = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);

    IniDocument doc = IniDocument::Parse(text);
    const Snapshot before = Take(doc);
    FUZZ_CHECK(Take(RoundTrip(doc)) == before);
    for (const auto& section : before.sections)
        for (const auto& [key, value] : section) (void)zyfar::ParseLeadingInt(value);

    std::vector<std::string_view> parts;
    for (std::string_view rest = control;;) {
        const std::size_t tab = rest.find('\t');
        parts.push_back(rest.substr(0, tab));
        if (tab == std::string_view::npos) break;
        rest.remove_prefix(tab + 1);
    }
    std::string section = parts.size() > 1 ? std::string(parts[0]) : "";
    if (section.empty()) section = before.names.empty() ? "Main" : before.names.front();
    std::string key = parts.size() > 2 ? std::string(parts[1]) : "";
    if (key.empty()) {
        const auto entries = doc.GetSection(section);
        key = entries.empty() ? "Key" : entries.front().first;
    }
    const std::string_view value = parts.back();

    const std::string textBefore = doc.Serialize();
    const Snapshot others = Take(doc, &section);
    if (!doc.Set(section, key, value)) {
        FUZZ_CHECK(doc.Serialize() == textBefore);
    } else {
        const std::string expected(zyfar::ini_text::Trim(value));
        FUZZ_CHECK(doc.Get(section, key) == expected);
        const IniDocument again = RoundTrip(doc);
        FUZZ_CHECK(again.Get(section, key) == expected);
        FUZZ_CHECK(Take(doc, &section) == others);
        FUZZ_CHECK(Take(again, &section) == others);

        FUZZ_CHECK(doc.RemoveKey(section, key));
        FUZZ_CHECK(!doc.Get(section, key));
        FUZZ_CHECK(!RoundTrip(doc).Get(section, key));
    }
    doc.RemoveSection(section);
    FUZZ_CHECK(!doc.HasSection(section));
    FUZZ_CHECK(!RoundTrip(doc).HasSection(section));
    FUZZ_CHECK(Take(doc, &section) == others);
    return 0;
}
