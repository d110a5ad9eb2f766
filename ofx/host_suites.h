// The host's suites, fetched once when the host loads the plug-in and only read afterwards. The
// multithread suite is not among them: the render's threads are the module engine's own
// (OpenMP, as in every other front end), and the host's thread pool could not reach into it.
#ifndef QB_OFX_HOST_SUITES_H
#define QB_OFX_HOST_SUITES_H

#include "ofx/api/ofx_api.h"

namespace qb_ofx {

struct HostSuites {
    const OfxHost* host = nullptr;
    const OfxPropertySuiteV1* property = nullptr;
    const OfxImageEffectSuiteV1* effect = nullptr;
    const OfxParameterSuiteV1* param = nullptr;
    const OfxMessageSuiteV1* message = nullptr;    // optional
    const OfxProgressSuiteV1* progress = nullptr;  // optional
};

// Fetches the suites from `host`; throws OfxFailure (missing host feature) when one the
// plug-in cannot work without is missing.
HostSuites fetch_suites(const OfxHost* host);

}  // namespace qb_ofx

#endif
