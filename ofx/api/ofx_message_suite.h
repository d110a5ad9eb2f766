/* The message suite: text for the user, shown or logged by the host. The format is printf's;
 * a plug-in passing text of its own passes "%s" and the text. */
#ifndef QB_OFX_API_OFX_MESSAGE_SUITE_H
#define QB_OFX_API_OFX_MESSAGE_SUITE_H

#include "ofx/api/ofx_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxMessageSuite "OfxMessageSuite"
#define kOfxMessageSuiteVersion 1

/* Kinds of message. */
#define kOfxMessageFatal "OfxMessageFatal"
#define kOfxMessageError "OfxMessageError"
#define kOfxMessageWarning "OfxMessageWarning"
#define kOfxMessageMessage "OfxMessageMessage"
#define kOfxMessageLog "OfxMessageLog"
#define kOfxMessageQuestion "OfxMessageQuestion"

typedef struct OfxMessageSuiteV1 {
    /* handle is the effect instance or descriptor the message is about, or null; messageId may
     * be null. */
    OfxStatus (*message)(void* handle, const char* messageType, const char* messageId,
                         const char* format, ...);
} OfxMessageSuiteV1;

#ifdef __cplusplus
}
#endif

#endif
