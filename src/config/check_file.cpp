// SPDX-License-Identifier: MIT
// Writes the configuration check's findings, one warning line each, on stderr.
#include "config/check_file.h"

#include "common/printable.h"
#include "config/check.h"
#include "config/config.h"

#include <syslog.h>

#include <cstdio>
#include <new>

namespace {

void report(const Finding& finding) {
    // The place holds the key as the file spells it, so it is masked like the values.
    std::string place = printable(finding.place);
    std::string value = printable(finding.value);
    std::string other = printable(finding.other);
    switch (finding.doubt) {
    case Doubt::section_not_object:
        fprintf(stderr, "<%d> %s: not an object, so every setting reads as absent\n", LOG_WARNING,
                place.c_str());
        break;
    case Doubt::unknown_key:
        fprintf(stderr, "<%d> %s: unknown key '%s' is ignored; did you mean '%s'?\n", LOG_WARNING,
                place.c_str(), value.c_str(), other.c_str());
        break;
    case Doubt::empty_string:
        fprintf(stderr, "<%d> %s: empty string\n", LOG_WARNING, place.c_str());
        break;
    case Doubt::duplicate_entry:
        fprintf(stderr, "<%d> %s: '%s' is listed already at %s\n", LOG_WARNING, place.c_str(),
                value.c_str(), other.c_str());
        break;
    case Doubt::no_driver_directory:
        fprintf(stderr,
                "<%d> %s: device path '%s' has no driver directory part; the handler refuses "
                "it\n",
                LOG_WARNING, place.c_str(), value.c_str());
        break;
    case Doubt::gpio_name_with_slash:
        fprintf(stderr, "<%d> %s: GPIO name '%s' holds a '/'\n", LOG_WARNING, place.c_str(),
                value.c_str());
        break;
    case Doubt::gpio_path_too_long:
        fprintf(stderr,
                "<%d> %s: GPIO name '%s' makes a value path longer than 254 characters; setting "
                "it fails\n",
                LOG_WARNING, place.c_str(), value.c_str());
        break;
    }
}

} // namespace

int check_config_file(const char* path, bool findings_fail) {
    JsonPtr document;
    bool usable = load_config(path, document).has_value();
    if (!document)
        return 1;
    std::vector<Finding> findings;
    try {
        findings = check_document(document.get());
        for (const Finding& finding : findings)
            report(finding);
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "<%d> Out of memory while checking configuration %s\n", LOG_ERR,
                printable(path).c_str());
        return 1;
    }
    return usable && !(findings_fail && !findings.empty()) ? 0 : 1;
}
