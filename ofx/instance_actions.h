// The actions a host asks of an instance before it renders: the regions the effect reads and
// writes, the clips' preferences, and changes of the parameters that switch others on and off.
// The effect reads all of its inputs and writes as much as its source covers.
#ifndef QB_OFX_INSTANCE_ACTIONS_H
#define QB_OFX_INSTANCE_ACTIONS_H

#include "ofx/host_suites.h"

namespace qb_ofx {

OfxStatus region_of_definition(const HostSuites& suites, OfxImageEffectHandle effect,
                               OfxPropertySetHandle in_args, OfxPropertySetHandle out_args);

OfxStatus regions_of_interest(const HostSuites& suites, OfxImageEffectHandle effect,
                              OfxPropertySetHandle in_args, OfxPropertySetHandle out_args);

OfxStatus clip_preferences(const HostSuites& suites, OfxImageEffectHandle effect,
                           OfxPropertySetHandle out_args);

OfxStatus instance_changed(const HostSuites& suites, OfxImageEffectHandle effect,
                           OfxPropertySetHandle in_args);

// The clip `name` of an instance and its properties; a null clip when the instance has no clip
// of that name (the Depth input in the filter context).
struct ClipHandles {
    OfxImageClipHandle clip = nullptr;
    OfxPropertySetHandle properties = nullptr;
};
ClipHandles clip_named(const HostSuites& suites, OfxImageEffectHandle effect, const char* name);

// Whether `clip` exists and has an input connected.
bool connected(const HostSuites& suites, const ClipHandles& clip);

}  // namespace qb_ofx

#endif
