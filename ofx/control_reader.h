// The parameters of an instance read through the host's parameter suite at one time.
#ifndef QB_OFX_CONTROL_READER_H
#define QB_OFX_CONTROL_READER_H

#include "ofx/control_values.h"
#include "ofx/host_suites.h"

namespace qb_ofx {

// Throws OfxFailure when the host refuses a parameter the plug-in defined.
ControlValues read_controls(const HostSuites& suites, OfxImageEffectHandle effect, OfxTime time);

// The parameter `name` of an instance's set.
OfxParamHandle param_handle(const HostSuites& suites, OfxParamSetHandle params, const char* name);

}  // namespace qb_ofx

#endif
