// q47.conf and the list of device channels the backend probes.
#include "sane/device_config.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace q47::sane {

namespace {

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

void addOnce(std::vector<std::string>& list, const std::string& channel) {
    if (!channel.empty() && std::find(list.begin(), list.end(), channel) == list.end())
        list.push_back(channel);
}

}  // namespace

std::vector<std::string> parseConfig(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        addOnce(out, trim(line));
    }
    return out;
}

std::vector<std::string> readConfig() {
    const char* env = std::getenv("SANE_CONFIG_DIR");
    std::string dirs = env && *env ? env : "";
    const std::string defaults = ".:/etc/sane.d";
    if (dirs.empty()) dirs = defaults;
    else if (dirs.back() == ':') dirs += defaults;
    std::istringstream in(dirs);
    std::string dir;
    while (std::getline(in, dir, ':')) {
        if (dir.empty()) continue;
        std::ifstream file(std::filesystem::path(dir) / "q47.conf");
        if (!file) continue;
        std::ostringstream text;
        text << file.rdbuf();
        return parseConfig(text.str());
    }
    return {};
}

std::vector<std::string> candidateChannels(const std::vector<std::string>& configured,
                                           const std::string& nodeFolder) {
    std::vector<std::string> out;
    if (const char* env = std::getenv("Q47_DEVICE"); env && *env) addOnce(out, env);
    // The driver numbers its nodes 0, 1, 2, ...: list them in that order.
    std::vector<std::pair<long, std::string>> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(nodeFolder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string stem = "zwbd_c_series";
        if (name.rfind(stem, 0) != 0 || name.size() == stem.size()) continue;
        const std::string digits = name.substr(stem.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
        nodes.emplace_back(std::strtol(digits.c_str(), nullptr, 10), entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    for (const auto& [n, path] : nodes) addOnce(out, path);
    addOnce(out, "usb");
    for (const auto& c : configured) addOnce(out, c);
    return out;
}

}  // namespace q47::sane
