/* How the module's messages begin, each kind written here once: texts shown to users, the
 * render's allocation failures, and the engine's failures passed on with the engine's own text.
 * Macros, so that a message is one literal put together at compile time. */
#ifndef QB_SDK_EFFECT_MESSAGES_H
#define QB_SDK_EFFECT_MESSAGES_H

#define QB_MESSAGE "[Quillbloom8.0] "
#define QB_RENDER_MESSAGE "QB8.0(Render): "
#define QB_ENGINE_MESSAGE "[Quillbloom8.0Eng] "

#endif
