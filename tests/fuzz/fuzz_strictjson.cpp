// talixctl's JSON reader: an accepted document has no key twice, no control character in a text
// and no nesting beyond the limit, and every member's place lies inside the bytes; a refused one
// says why. Deep nesting is refused, never a crash. The same bytes as a plan are accepted or
// refused with a reason, parts of the plan read again by the same reader.

#include "fuzzcheck.h"

#include "fleetplan.h"
#include "strictjson.h"

using namespace talixctl;

namespace {

bool clean(const std::string& text)
{
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool sound(const nlohmann::json& value, int depth)
{
    if (value.is_string())
        return clean(value.get_ref<const std::string&>());
    if (!value.is_structured())
        return true;
    if (depth >= kMaxJsonDepth)
        return false;
    for (const auto& [key, member] : value.items())
        if (!sound(member, depth + 1) || !clean(key))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PlanParse plan = ParsePlan(bytes);
    FUZZ_CHECK(plan.plan.has_value() != !plan.error.isEmpty());
    const StrictJson parsed = ParseStrictJson(bytes);
    if (parsed.error) {
        FUZZ_CHECK(!parsed.error->isEmpty());
        return 0;
    }
    FUZZ_CHECK(sound(parsed.doc, 0));
    for (const auto& [path, place] : parsed.places)
        FUZZ_CHECK(place.begin >= 0 && place.begin <= place.end && place.end <= bytes.size() && place.line >= 1);
    return 0;
}
