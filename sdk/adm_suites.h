/* The host's dialog suites, as far as a module's About box uses them. Each suite is a table of
 * plain C functions that the host hands out through the basic suite (SPBasicSuite) under the
 * name and version below; a module holds the table until it releases the suite again.
 *
 * Dialogs and items are the host's objects: a module sees them only as opaque references, valid
 * from their creation until the modal dialog they belong to has closed. Texts are copied by the
 * host. Four of the seven suites are held by the About box without being called; their tables
 * stay opaque here. */
#ifndef QB_SDK_ADM_SUITES_H
#define QB_SDK_ADM_SUITES_H

#include "sdk/pf_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ADM_BASIC_SUITE_NAME "ADM Basic Suite"
#define ADM_BASIC_SUITE_VERSION 2
#define ADM_DIALOG_SUITE_NAME "ADM Dialog Suite"
#define ADM_DIALOG_SUITE_VERSION 5
#define ADM_ITEM_SUITE_NAME "ADM Item Suite"
#define ADM_ITEM_SUITE_VERSION 4
#define ADM_IMAGE_SUITE_NAME "ADM Image Suite"
#define ADM_IMAGE_SUITE_VERSION 1
#define ADM_DRAWER_SUITE_NAME "ADM Drawer Suite"
#define ADM_DRAWER_SUITE_VERSION 3
#define ADM_LIST_SUITE_NAME "ADM List Suite"
#define ADM_LIST_SUITE_VERSION 1
#define ADM_ENTRY_SUITE_NAME "ADM Entry Suite"
#define ADM_ENTRY_SUITE_VERSION 2

/* Item kinds a dialog can be asked to create. */
#define ADM_TEXT_PUSH_BUTTON_TYPE "ADM Text Push Button Type"
#define ADM_TEXT_STATIC_TYPE "ADM Text Static Type"

/* What run_modal answers when no dialog was shown (its initialisation refused). */
#define ADM_NO_DIALOG (-1)

typedef struct ADMDialog* ADMDialogRef;
typedef struct ADMItem* ADMItemRef;

/* Dialog coordinates: left and top inclusive, right and bottom exclusive. */
typedef struct {
    A_long left;
    A_long top;
    A_long right;
    A_long bottom;
} ADMRect;

/* Builds the dialog's contents before it is shown; zero refuses the dialog. */
typedef A_long (*ADMDialogInitProc)(ADMDialogRef dialog);

/* Called when the user activates an item (presses a button). */
typedef void (*ADMItemNotifyProc)(ADMItemRef item);

typedef struct {
    /* A modal alert with an OK button; returns when the user dismissed it. */
    void (*alert)(const char* text);
} ADMBasicSuite2;

typedef struct {
    /* Creates a modal dialog named `name`, runs `init` on it, shows it until an item ends it and
     * destroys it. Answers the id passed to end_modal, or ADM_NO_DIALOG when `init` refused.
     * `user_data` is handed back by get_user_data while the dialog exists. */
    A_long (*run_modal)(const char* name, ADMDialogInitProc init, void* user_data);
    void* (*get_user_data)(ADMDialogRef dialog);
    void (*set_size)(ADMDialogRef dialog, A_long width, A_long height);
    void (*set_title)(ADMDialogRef dialog, const char* title);
    /* Closes the modal dialog once the running notification returns; run_modal answers
     * `item_id`. */
    void (*end_modal)(ADMDialogRef dialog, A_long item_id);
} ADMDialogSuite5;

typedef struct {
    /* Creates an item of kind `item_type` (one of the *_TYPE names) with the given id at
     * `bounds`; null when the host knows no such kind. */
    ADMItemRef (*create)(ADMDialogRef dialog, A_long item_id, const char* item_type,
                         const ADMRect* bounds);
    ADMDialogRef (*get_dialog)(ADMItemRef item);
    A_long (*get_id)(ADMItemRef item);
    void (*set_text)(ADMItemRef item, const char* text);
    void (*set_notify_proc)(ADMItemRef item, ADMItemNotifyProc notify);
} ADMItemSuite4;

typedef struct ADMImageSuite1 ADMImageSuite1;
typedef struct ADMDrawerSuite3 ADMDrawerSuite3;
typedef struct ADMListSuite1 ADMListSuite1;
typedef struct ADMEntrySuite2 ADMEntrySuite2;

#ifdef __cplusplus
}
#endif

#endif
