#include "ofx/host_suites.h"

#include <string>

#include "ofx/ofx_failure.h"

namespace qb_ofx {
namespace {

template <class Suite>
const Suite* fetch(const OfxHost* host, const char* name, int version) {
    return static_cast<const Suite*>(host->fetchSuite(host->host, name, version));
}

template <class Suite>
const Suite* require(const OfxHost* host, const char* name, int version) {
    const Suite* suite = fetch<Suite>(host, name, version);
    if (!suite) {
        throw OfxFailure(
            kOfxStatErrMissingHostFeature,
            std::string("the host has no ") + name + " (version " + std::to_string(version) + ")");
    }
    return suite;
}

}  // namespace

HostSuites fetch_suites(const OfxHost* host) {
    if (!host || !host->fetchSuite) {
        throw OfxFailure(kOfxStatErrMissingHostFeature, "the host gave the plug-in no suites");
    }
    HostSuites suites;
    suites.host = host;
    suites.property =
        require<OfxPropertySuiteV1>(host, kOfxPropertySuite, kOfxPropertySuiteVersion);
    suites.effect =
        require<OfxImageEffectSuiteV1>(host, kOfxImageEffectSuite, kOfxImageEffectSuiteVersion);
    suites.param =
        require<OfxParameterSuiteV1>(host, kOfxParameterSuite, kOfxParameterSuiteVersion);
    suites.message = fetch<OfxMessageSuiteV1>(host, kOfxMessageSuite, kOfxMessageSuiteVersion);
    suites.progress = fetch<OfxProgressSuiteV1>(host, kOfxProgressSuite, kOfxProgressSuiteVersion);
    return suites;
}

}  // namespace qb_ofx
