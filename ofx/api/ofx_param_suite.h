/* The parameter suite: an effect defines its parameters while it is described and reads their
 * values on an instance. Values travel through C varargs, so their C types must be exactly
 * these: int for integers, booleans and choices, double for doubles and each part of a 2D
 * double, char* for strings. */
#ifndef QB_OFX_API_OFX_PARAM_SUITE_H
#define QB_OFX_API_OFX_PARAM_SUITE_H

#include "ofx/api/ofx_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxParameterSuite "OfxParameterSuite"
#define kOfxParameterSuiteVersion 1

typedef struct OfxParamStruct* OfxParamHandle;
typedef struct OfxParamSetStruct* OfxParamSetHandle;

/* Values of kOfxPropType. */
#define kOfxTypeParameter "OfxTypeParameter"
#define kOfxTypeParameterInstance "OfxTypeParameterInstance"

/* Kinds of parameter. */
#define kOfxParamTypeInteger "OfxParamTypeInteger"
#define kOfxParamTypeDouble "OfxParamTypeDouble"
#define kOfxParamTypeBoolean "OfxParamTypeBoolean"
#define kOfxParamTypeChoice "OfxParamTypeChoice"
#define kOfxParamTypeRGBA "OfxParamTypeRGBA"
#define kOfxParamTypeRGB "OfxParamTypeRGB"
#define kOfxParamTypeDouble2D "OfxParamTypeDouble2D"
#define kOfxParamTypeInteger2D "OfxParamTypeInteger2D"
#define kOfxParamTypeDouble3D "OfxParamTypeDouble3D"
#define kOfxParamTypeInteger3D "OfxParamTypeInteger3D"
#define kOfxParamTypeString "OfxParamTypeString"
#define kOfxParamTypeCustom "OfxParamTypeCustom"
#define kOfxParamTypeGroup "OfxParamTypeGroup"
#define kOfxParamTypePage "OfxParamTypePage"
#define kOfxParamTypePushButton "OfxParamTypePushButton"

/* Properties of a parameter. */
#define kOfxParamPropType "OfxParamPropType"
#define kOfxParamPropScriptName "OfxParamPropScriptName"
#define kOfxParamPropHint "OfxParamPropHint"
#define kOfxParamPropDefault "OfxParamPropDefault"
#define kOfxParamPropMin "OfxParamPropMin"
#define kOfxParamPropMax "OfxParamPropMax"
#define kOfxParamPropDisplayMin "OfxParamPropDisplayMin"
#define kOfxParamPropDisplayMax "OfxParamPropDisplayMax"
#define kOfxParamPropIncrement "OfxParamPropIncrement"
#define kOfxParamPropDigits "OfxParamPropDigits"
#define kOfxParamPropDimensionLabel "OfxParamPropDimensionLabel"
#define kOfxParamPropChoiceOption "OfxParamPropChoiceOption"
#define kOfxParamPropAnimates "OfxParamPropAnimates"
#define kOfxParamPropIsAnimating "OfxParamPropIsAnimating"
#define kOfxParamPropPersistant "OfxParamPropPersistant"
#define kOfxParamPropEvaluateOnChange "OfxParamPropEvaluateOnChange"
#define kOfxParamPropPluginMayWrite "OfxParamPropPluginMayWrite"
#define kOfxParamPropCanUndo "OfxParamPropCanUndo"
#define kOfxParamPropSecret "OfxParamPropSecret"
#define kOfxParamPropEnabled "OfxParamPropEnabled"
#define kOfxParamPropParent "OfxParamPropParent"
#define kOfxParamPropGroupOpen "OfxParamPropGroupOpen"
#define kOfxParamPropPageChild "OfxParamPropPageChild"
#define kOfxParamPropDoubleType "OfxParamPropDoubleType"
#define kOfxParamPropDefaultCoordinateSystem "OfxParamPropDefaultCoordinateSystem"
#define kOfxParamPropCacheInvalidation "OfxParamPropCacheInvalidation"
#define kOfxPluginPropParamPageOrder "OfxPluginPropParamPageOrder"

/* Values of kOfxParamPropDoubleType. */
#define kOfxParamDoubleTypePlain "OfxParamDoubleTypePlain"
#define kOfxParamDoubleTypeScale "OfxParamDoubleTypeScale"
#define kOfxParamDoubleTypeAngle "OfxParamDoubleTypeAngle"
#define kOfxParamDoubleTypeXAbsolute "OfxParamDoubleTypeXAbsolute"
#define kOfxParamDoubleTypeYAbsolute "OfxParamDoubleTypeYAbsolute"
#define kOfxParamDoubleTypeXY "OfxParamDoubleTypeXY"
#define kOfxParamDoubleTypeXYAbsolute "OfxParamDoubleTypeXYAbsolute"

/* Values of kOfxParamPropDefaultCoordinateSystem. */
#define kOfxParamCoordinatesCanonical "OfxParamCoordinatesCanonical"
#define kOfxParamCoordinatesNormalised "OfxParamCoordinatesNormalised"

/* Values of kOfxParamPropCacheInvalidation. */
#define kOfxParamInvalidateValueChange "OfxParamInvalidateValueChange"
#define kOfxParamInvalidateAll "OfxParamInvalidateAll"

/* Properties of the host descriptor about parameters. */
#define kOfxParamHostPropSupportsCustomInteract "OfxParamHostPropSupportsCustomInteract"
#define kOfxParamHostPropSupportsStringAnimation "OfxParamHostPropSupportsStringAnimation"
#define kOfxParamHostPropSupportsChoiceAnimation "OfxParamHostPropSupportsChoiceAnimation"
#define kOfxParamHostPropSupportsBooleanAnimation "OfxParamHostPropSupportsBooleanAnimation"
#define kOfxParamHostPropSupportsCustomAnimation "OfxParamHostPropSupportsCustomAnimation"
#define kOfxParamHostPropMaxParameters "OfxParamHostPropMaxParameters"
#define kOfxParamHostPropMaxPages "OfxParamHostPropMaxPages"
#define kOfxParamHostPropPageRowColumnCount "OfxParamHostPropPageRowColumnCount"

typedef struct OfxParameterSuiteV1 {
    /* Only while describing: says a parameter of this kind and name will exist on instances. */
    OfxStatus (*paramDefine)(OfxParamSetHandle paramSet, const char* paramType, const char* name,
                             OfxPropertySetHandle* propertySet);
    OfxStatus (*paramGetHandle)(OfxParamSetHandle paramSet, const char* name, OfxParamHandle* param,
                                OfxPropertySetHandle* propertySet);
    OfxStatus (*paramSetGetPropertySet)(OfxParamSetHandle paramSet,
                                        OfxPropertySetHandle* propHandle);
    OfxStatus (*paramGetPropertySet)(OfxParamHandle param, OfxPropertySetHandle* propHandle);
    /* The varargs are pointers to the C variables that receive the value, one a dimension. */
    OfxStatus (*paramGetValue)(OfxParamHandle paramHandle, ...);
    OfxStatus (*paramGetValueAtTime)(OfxParamHandle paramHandle, OfxTime time, ...);
    OfxStatus (*paramGetDerivative)(OfxParamHandle paramHandle, OfxTime time, ...);
    OfxStatus (*paramGetIntegral)(OfxParamHandle paramHandle, OfxTime time1, OfxTime time2, ...);
    /* The varargs are the values themselves, one a dimension. */
    OfxStatus (*paramSetValue)(OfxParamHandle paramHandle, ...);
    OfxStatus (*paramSetValueAtTime)(OfxParamHandle paramHandle, OfxTime time, ...);
    OfxStatus (*paramGetNumKeys)(OfxParamHandle paramHandle, unsigned int* numberOfKeys);
    OfxStatus (*paramGetKeyTime)(OfxParamHandle paramHandle, unsigned int nthKey, OfxTime* time);
    OfxStatus (*paramGetKeyIndex)(OfxParamHandle paramHandle, OfxTime time, int direction,
                                  int* index);
    OfxStatus (*paramDeleteKey)(OfxParamHandle paramHandle, OfxTime time);
    OfxStatus (*paramDeleteAllKeys)(OfxParamHandle paramHandle);
    OfxStatus (*paramCopy)(OfxParamHandle paramTo, OfxParamHandle paramFrom, OfxTime dstOffset,
                           const OfxRangeD* frameRange);
    OfxStatus (*paramEditBegin)(OfxParamSetHandle paramSet, const char* name);
    OfxStatus (*paramEditEnd)(OfxParamSetHandle paramSet);
} OfxParameterSuiteV1;

#ifdef __cplusplus
}
#endif

#endif
