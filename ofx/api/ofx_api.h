/* Everything of our OpenFX declarations at once, for a plug-in or a host. */
#ifndef QB_OFX_API_OFX_API_H
#define QB_OFX_API_OFX_API_H

#include "ofx/api/ofx_core.h"
#include "ofx/api/ofx_image_effect.h"
#include "ofx/api/ofx_memory_suite.h"
#include "ofx/api/ofx_message_suite.h"
#include "ofx/api/ofx_param_suite.h"
#include "ofx/api/ofx_progress_suite.h"
#include "ofx/api/ofx_property_suite.h"

#endif
