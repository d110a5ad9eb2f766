#include "engine/pass_parts.h"

#include "engine/iris_pattern.h"
#include "engine/size_pattern.h"

EngineStatus build_pass_parts(const PassInputs& in, PassParts& parts, PhotonLight& photons) {
    if (const EngineStatus status = parts.source.pre_process_RGB_cf(in); !status.ok()) {
        return status;
    }
    if (const EngineStatus status = parts.pattern.pack_pattern_alpha(in.iris); !status.ok()) {
        return status;
    }
    parts.pattern.measure_pattern();
    if (const EngineStatus status = prepare_pattern(parts.pattern, in, parts.sized, parts.stamp);
        !status.ok()) {
        return status;
    }
    if (in.source.linear()) {
        photons.make_linear();
        return {};
    }
    return photons.make_photon(in.source.levels, in.hardness, in.brightness);
}
