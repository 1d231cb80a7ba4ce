// Q47Uty.ini: the utility's language file, its keys with their English defaults, and the font.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace q47::utility {

constexpr const char* kLanguageFileName = "Q47Uty.ini";
constexpr const char* kLogFileName = "Q47_USB.Log";
constexpr const char* kRawDataFileName = "rawdata.bin";
constexpr const char* kHelpFileName = "Q47Uty.html";

struct TextKey {
    const char* section;
    const char* key;
    const char* defaultValue;
};
// Every key loadTexts reads, in file order.
const std::vector<TextKey>& textKeys();

class UtilityTexts {
  public:
    UtilityTexts();  // the English defaults
    // Reads every key of the language file at path (missing keys take their defaults).
    // LabelFirmVersionVal is read only at start.
    void loadTexts(const std::string& path, bool atStart);
    // The text of key; "" for a key that is not in the table.
    const std::string& text(const std::string& key) const;
    void set(const std::string& key, const std::string& value) { texts_[key] = value; }
    // Window title: UtilityDialogTitle, a space, Version.
    std::string title() const { return text("UtilityDialogTitle") + " " + text("Version"); }
    int fontSize() const;

  private:
    std::map<std::string, std::string> texts_;
};

}  // namespace q47::utility
