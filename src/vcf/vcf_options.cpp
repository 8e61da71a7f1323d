#include "vcf/vcf_options.hpp"

namespace {

constexpr MissingPolicy kPolicies[] = {MissingPolicy::Impute, MissingPolicy::Refuse, MissingPolicy::DropSites,
                                       MissingPolicy::DropSamples};

} // namespace

const char* missingPolicyName(MissingPolicy policy)
{
    switch (policy) {
    case MissingPolicy::Impute:
        return "impute";
    case MissingPolicy::Refuse:
        return "refuse";
    case MissingPolicy::DropSites:
        return "drop-sites";
    case MissingPolicy::DropSamples:
        return "drop-samples";
    }
    return "refuse";
}

bool parseMissingPolicy(std::string_view text, MissingPolicy& policy)
{
    for (const MissingPolicy candidate : kPolicies) {
        if (text == missingPolicyName(candidate)) {
            policy = candidate;
            return true;
        }
    }
    return false;
}

bool asksForVcfInput(const VcfOptions& options)
{
    const bool drops = options.missing == MissingPolicy::DropSites || options.missing == MissingPolicy::DropSamples;
    return drops || options.region.has_value() || !options.samplesFile.empty();
}
