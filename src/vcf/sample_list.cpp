#include "vcf/sample_list.hpp"

#include <fstream>
#include <sstream>
#include <string_view>
#include <unordered_map>

namespace {

std::string_view trimmed(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const std::size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

} // namespace

bool selectSamples(const std::string& listPath, const std::vector<std::string>& available,
                   const std::string& vcfName, std::vector<int>& chosen, std::string& error)
{
    std::ifstream in(listPath, std::ios::binary);
    if (!in) {
        error = "Couldn't open the sample list " + listPath;
        return false;
    }
    const std::string refusal = "Error in the sample list " + listPath + ": ";
    std::unordered_map<std::string_view, int> indexOf;
    for (std::size_t i = 0; i < available.size(); ++i) indexOf.emplace(available[i], static_cast<int>(i));

    std::vector<int> picked;
    std::unordered_map<int, int> lineOfIndex;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view name = trimmed(line);
        if (name.empty()) continue;
        const auto found = indexOf.find(name);
        if (found == indexOf.end()) {
            error = refusal + "line " + std::to_string(number) + " names the sample '" + std::string(name)
                    + "', which the VCF file " + vcfName + " does not have";
            return false;
        }
        const auto [earlier, first] = lineOfIndex.emplace(found->second, number);
        if (!first) {
            error = refusal + "line " + std::to_string(number) + " names the sample '" + std::string(name)
                    + "' again (first on line " + std::to_string(earlier->second) + ")";
            return false;
        }
        picked.push_back(found->second);
    }
    if (in.bad()) {
        error = "Couldn't read the sample list " + listPath;
        return false;
    }
    if (picked.empty()) {
        error = refusal + "it names no sample";
        return false;
    }
    chosen = std::move(picked);
    return true;
}
