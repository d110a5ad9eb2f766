#include "host/emulated_host.h"

#include <dlfcn.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "host/fixed_point.h"

namespace host {

struct EmulatedHost::Handle {
    std::vector<uint8_t> bytes;
    int locks = 0;
};

namespace {

constexpr std::size_t kPlatformPathSize = 512;

// Hosts in creation order, shared by every thread that makes one; and on each thread, the host
// whose command is running there, so that hosts on two threads send commands at once.
std::mutex live_hosts_lock;
std::vector<EmulatedHost*>& live_hosts() {
    static std::vector<EmulatedHost*> hosts;
    return hosts;
}
thread_local EmulatedHost* sending_host = nullptr;

}  // namespace

// The host's side of every callback the module may make.
struct HostCallbacks {
    static EmulatedHost* of(PF_ProgPtr effect_ref) {
        return reinterpret_cast<EmulatedHost*>(effect_ref);
    }

    static PF_Err checkout_param(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long, A_long,
                                 A_u_long, PF_ParamDef* param) {
        EmulatedHost* host = of(effect_ref);
        if (!param || index < 0 || index >= static_cast<int>(host->params_.size())) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (host->checkout_refusal_ != PF_Err_NONE) {
            return host->checkout_refusal_;
        }
        *param = host->params_[static_cast<std::size_t>(index)];
        // Index 0 is the input layer of the render, already in place.
        if (index > 0 && param->param_type == PF_Param_LAYER) {
            const auto layer = host->layers_.find(index);
            const A_long dephault = param->u.ld.dephault;
            param->u.ld = layer != host->layers_.end() && layer->second ? layer->second->def()
                                                                        : PF_LayerDef{};
            param->u.ld.dephault = dephault;
        }
        ++host->checked_out_;
        return PF_Err_NONE;
    }

    static PF_Err checkin_param(PF_ProgPtr effect_ref, PF_ParamDef*) {
        EmulatedHost* host = of(effect_ref);
        if (host->checked_out_ > 0) {
            --host->checked_out_;
        }
        return PF_Err_NONE;
    }

    static PF_Err add_param(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def) {
        EmulatedHost* host = of(effect_ref);
        if (host->add_param_refusal_countdown_ >= 0 && host->add_param_refusal_countdown_-- == 0) {
            return host->add_param_refusal_;
        }
        if (!def || index != PF_ParamIndex_APPEND) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        DeclaredParam declared;
        declared.def = *def;
        declared.def.name[PF_MAX_EFFECT_PARAM_NAME_LEN] = '\0';
        // The module's strings need not outlive the call; the host keeps its own copies.
        if (def->param_type == PF_Param_POPUP) {
            declared.choices = def->u.pd.namesptr ? def->u.pd.namesptr : "";
        } else if (def->param_type == PF_Param_CHECKBOX) {
            declared.checkbox_label = def->u.bd.nameptr ? def->u.bd.nameptr : "";
        }
        host->declared_.push_back(std::move(declared));
        return PF_Err_NONE;
    }

    static PF_Err progress(PF_ProgPtr effect_ref, A_long current, A_long total) {
        EmulatedHost* host = of(effect_ref);
        return host->progress_ ? host->progress_(current, total) : PF_Err_NONE;
    }

    static PF_Err copy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect*,
                       const PF_Rect*) {
        if (!src || !dst || !src->data || !dst->data || src->width != dst->width ||
            src->height != dst->height || src->world_flags != dst->world_flags) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        // Only the pixels of each row: padding belongs to each world alone.
        const std::size_t row_size =
            static_cast<std::size_t>(std::max(src->width, 0)) * pixel_size_of(src->world_flags);
        if (static_cast<std::size_t>(std::max(src->rowbytes, 0)) < row_size ||
            static_cast<std::size_t>(std::max(dst->rowbytes, 0)) < row_size) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        for (A_long y = 0; y < src->height; ++y) {
            std::memmove(
                static_cast<uint8_t*>(dst->data) + static_cast<std::size_t>(y) * dst->rowbytes,
                static_cast<const uint8_t*>(src->data) +
                    static_cast<std::size_t>(y) * src->rowbytes,
                row_size);
        }
        return PF_Err_NONE;
    }

    // The world's pixels when it holds pixels of type Pixel, null otherwise.
    template <class Pixel>
    static PF_Err get_pixel_data(PF_EffectWorld* world, Pixel** pixels) {
        if (!world || !pixels) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *pixels = pixel_size_of(world->world_flags) == sizeof(Pixel)
                      ? static_cast<Pixel*>(world->data)
                      : nullptr;
        return PF_Err_NONE;
    }

    // Nothing may be thrown back into the module: a size the host cannot hold is a refusal.
    static bool reserve(std::vector<uint8_t>& bytes, A_u_longlong size) {
        try {
            bytes.resize(size);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    static bool refuse_handle(EmulatedHost& host) {
        return host.handle_refusal_countdown_ >= 0 && host.handle_refusal_countdown_-- == 0;
    }

    static EmulatedHost::Handle* find(EmulatedHost& host, PF_Handle handle) {
        const auto* key = reinterpret_cast<const EmulatedHost::Handle*>(handle);
        const auto found = host.handles_.find(key);
        return found == host.handles_.end() ? nullptr : found->second.get();
    }

    static PF_Handle new_handle(A_u_longlong size) {
        EmulatedHost* host = EmulatedHost::active();
        if (!host || refuse_handle(*host)) {
            return nullptr;
        }
        auto handle = std::make_unique<EmulatedHost::Handle>();
        if (!reserve(handle->bytes, size)) {
            return nullptr;
        }
        auto* key = handle.get();
        host->handles_.emplace(key, std::move(handle));
        return reinterpret_cast<PF_Handle>(key);
    }

    static void* lock_handle(PF_Handle handle) {
        EmulatedHost* host = EmulatedHost::active();
        EmulatedHost::Handle* record = host ? find(*host, handle) : nullptr;
        if (!record) {
            return nullptr;
        }
        ++record->locks;
        // An empty block still answers a pointer: the lock itself succeeded.
        return record->bytes.empty() ? static_cast<void*>(record) : record->bytes.data();
    }

    static void unlock_handle(PF_Handle handle) {
        EmulatedHost* host = EmulatedHost::active();
        EmulatedHost::Handle* record = host ? find(*host, handle) : nullptr;
        if (record && record->locks > 0) {
            --record->locks;
        }
    }

    static void dispose_handle(PF_Handle handle) {
        if (EmulatedHost* host = EmulatedHost::active()) {
            host->handles_.erase(reinterpret_cast<const EmulatedHost::Handle*>(handle));
        }
    }

    static A_u_longlong handle_size(PF_Handle handle) {
        EmulatedHost* host = EmulatedHost::active();
        EmulatedHost::Handle* record = host ? find(*host, handle) : nullptr;
        return record ? record->bytes.size() : 0;
    }

    // The block moves, as a real host's may: bytes taken from an earlier lock are stale.
    static PF_Err resize_handle(A_u_longlong new_size, PF_Handle* handle) {
        EmulatedHost* host = EmulatedHost::active();
        EmulatedHost::Handle* record = host && handle ? find(*host, *handle) : nullptr;
        if (!record) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (refuse_handle(*host)) {
            return PF_Err_OUT_OF_MEMORY;
        }
        std::vector<uint8_t> moved;
        if (!reserve(moved, new_size)) {
            return PF_Err_OUT_OF_MEMORY;
        }
        std::copy_n(record->bytes.begin(), std::min<std::size_t>(new_size, record->bytes.size()),
                    moved.begin());
        record->bytes.swap(moved);
        return PF_Err_NONE;
    }

    static PF_Err get_platform_data(PF_ProgPtr effect_ref, PF_PlatDataID which, void* data) {
        if (which != PF_PlatData_EXE_FILE_PATH || !data) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        std::snprintf(static_cast<char*>(data), kPlatformPathSize, "%s",
                      of(effect_ref)->module_path_.c_str());
        return PF_Err_NONE;
    }

    static A_char* ansi_strcpy(A_char* dest, const A_char* src) { return std::strcpy(dest, src); }

    static A_long ansi_sprintf(A_char* buffer, const A_char* format, ...) {
        va_list args;
        va_start(args, format);
        const int written = std::vsprintf(buffer, format, args);
        va_end(args);
        return written;
    }

    static double ansi_ceil(double value) { return std::ceil(value); }
    static double ansi_fabs(double value) { return std::fabs(value); }

    static SPErr acquire_suite(const char* name, A_long version, const void** suite) {
        EmulatedHost* host = EmulatedHost::active();
        if (!suite) {
            return kSPSuiteNotFoundError;
        }
        *suite = nullptr;
        if (!host || !name || host->left_out_suites_.count(std::string_view(name))) {
            return kSPSuiteNotFoundError;
        }
        const auto found = host->suites_.find(std::string_view(name));
        if (found == host->suites_.end() || found->second.version != version) {
            return kSPSuiteNotFoundError;
        }
        *suite = found->second.table;
        ++host->suites_held_;
        ++host->suite_acquisitions_;
        return kSPNoError;
    }

    static SPErr release_suite(const char* name, A_long version) {
        EmulatedHost* host = EmulatedHost::active();
        if (!host || !name) {
            return kSPSuiteNotFoundError;
        }
        const auto found = host->suites_.find(std::string_view(name));
        if (found == host->suites_.end() || found->second.version != version ||
            host->suites_held_ == 0) {
            return kSPSuiteNotFoundError;
        }
        --host->suites_held_;
        return kSPNoError;
    }
};

EmulatedHost::EmulatedHost(std::string module_path) : module_path_(std::move(module_path)) {
    // A module's parallel loops leave the OpenMP runtime's worker threads waiting in it. The
    // host holds the runtime itself, as real hosts do, so that unloading a module never takes
    // the runtime away from under those threads; a call is what keeps the linker from dropping
    // the dependency.
    static const int runtime_held = omp_get_num_procs();
    static_cast<void>(runtime_held);
    library_ = dlopen(module_path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* reason = dlerror();
        throw HostError("cannot load " + module_path_ + ": " + (reason ? reason : "unknown"));
    }
    entry_ = reinterpret_cast<PF_EffectMain>(dlsym(library_, PF_ENTRY_POINT_NAME));
    if (!entry_) {
        dlclose(library_);
        throw HostError(module_path_ + " has no entry point '" PF_ENTRY_POINT_NAME "'");
    }
    install_callbacks();
}

EmulatedHost::EmulatedHost(PF_EffectMain entry, std::string module_path)
    : module_path_(std::move(module_path)), entry_(entry) {
    install_callbacks();
}

void EmulatedHost::install_callbacks() {
    utils_.copy = HostCallbacks::copy;
    utils_.get_pixel_data8 = HostCallbacks::get_pixel_data<PF_Pixel8>;
    utils_.get_pixel_data16 = HostCallbacks::get_pixel_data<PF_Pixel16>;
    utils_.get_pixel_data_float = HostCallbacks::get_pixel_data<PF_PixelFloat>;
    utils_.host_new_handle = HostCallbacks::new_handle;
    utils_.host_lock_handle = HostCallbacks::lock_handle;
    utils_.host_unlock_handle = HostCallbacks::unlock_handle;
    utils_.host_dispose_handle = HostCallbacks::dispose_handle;
    utils_.host_get_handle_size = HostCallbacks::handle_size;
    utils_.host_resize_handle = HostCallbacks::resize_handle;
    utils_.get_platform_data = HostCallbacks::get_platform_data;
    utils_.ansi = {HostCallbacks::ansi_strcpy, HostCallbacks::ansi_sprintf,
                   HostCallbacks::ansi_ceil, HostCallbacks::ansi_fabs};
    basic_suite_ = {HostCallbacks::acquire_suite, HostCallbacks::release_suite};

    reset_in_data();
    const std::lock_guard<std::mutex> lock(live_hosts_lock);
    live_hosts().push_back(this);
}

EmulatedHost::~EmulatedHost() {
    // A host closing its project sets the effect down, so that the module gives back what it
    // kept from render to render.
    if (in_data_.sequence_data) {
        sequence_setdown();
    }
    if (in_data_.global_data) {
        global_setdown();
    }
    {
        const std::lock_guard<std::mutex> lock(live_hosts_lock);
        auto& hosts = live_hosts();
        hosts.erase(std::remove(hosts.begin(), hosts.end(), this), hosts.end());
    }
    if (sending_host == this) {
        sending_host = nullptr;
    }
    if (library_) {
        dlclose(library_);
    }
}

EmulatedHost* EmulatedHost::active() {
    if (sending_host) {
        return sending_host;
    }
    const std::lock_guard<std::mutex> lock(live_hosts_lock);
    const auto& hosts = live_hosts();
    return hosts.empty() ? nullptr : hosts.back();
}

void EmulatedHost::reset_in_data() {
    in_data_ = PF_InData{};
    in_data_.inter = {HostCallbacks::checkout_param, HostCallbacks::checkin_param,
                      HostCallbacks::add_param, HostCallbacks::progress};
    in_data_.utils = &utils_;
    in_data_.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    in_data_.time_step = 1;
    in_data_.time_scale = 1;
    in_data_.downsample_x = {1, 1};
    in_data_.downsample_y = {1, 1};
    in_data_.pica_basicP = &basic_suite_;
}

void EmulatedHost::set_layer_size(int width, int height) {
    in_data_.width = width;
    in_data_.height = height;
}

void EmulatedHost::set_downsample(A_long num, A_u_long den) {
    in_data_.downsample_x = {num, den};
    in_data_.downsample_y = {num, den};
}

PF_Err EmulatedHost::dispatch(PF_Cmd cmd, PF_LayerDef* output, void* extra) {
    out_data_ = PF_OutData{};
    out_data_.sequence_data = in_data_.sequence_data;
    out_data_.global_data = in_data_.global_data;
    in_data_.pica_basicP = basic_suite_present_ ? &basic_suite_ : nullptr;

    EmulatedHost* const outer = sending_host;
    sending_host = this;
    const PF_Err err = entry_(cmd, &in_data_, &out_data_,
                              param_array_.empty() ? nullptr : param_array_.data(), output, extra);
    sending_host = outer;
    // The module's global data is whatever it leaves in the out-record, command after command.
    in_data_.global_data = out_data_.global_data;
    return err;
}

PF_Err EmulatedHost::send(PF_Cmd cmd, PF_LayerDef* output, void* extra) {
    return dispatch(cmd, output, extra);
}

PF_Err EmulatedHost::about() {
    return dispatch(PF_Cmd_ABOUT, nullptr, nullptr);
}

PF_Err EmulatedHost::global_setup() {
    const PF_Err err = dispatch(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr);
    module_takes_float_ =
        err == PF_Err_NONE && (out_data_.out_flags2 & PF_OutFlag2_FLOAT_COLOR_AWARE) != 0;
    return err;
}

PF_Err EmulatedHost::params_setup() {
    declared_.clear();
    const PF_Err err = dispatch(PF_Cmd_PARAMS_SETUP, nullptr, nullptr);
    rebuild_param_array();
    return err;
}

PF_Err EmulatedHost::sequence_setup() {
    const PF_Err err = dispatch(PF_Cmd_SEQUENCE_SETUP, nullptr, nullptr);
    in_data_.sequence_data = out_data_.sequence_data;
    return err;
}

PF_Err EmulatedHost::sequence_setdown() {
    const PF_Err err = dispatch(PF_Cmd_SEQUENCE_SETDOWN, nullptr, nullptr);
    in_data_.sequence_data = nullptr;
    return err;
}

PF_Err EmulatedHost::render(World& input, World& output) {
    in_data_.width = input.width();
    in_data_.height = input.height();
    in_data_.extent_hint = extent_hint_.value_or(input.def().extent_hint);
    if (params_.empty()) {
        rebuild_param_array();
    }
    params_[0].u.ld = input.def();
    const PF_Err err = dispatch(PF_Cmd_RENDER, &output.def(), nullptr);
    in_data_.sequence_data = out_data_.sequence_data;
    return err;
}

PF_Err EmulatedHost::user_changed_param(std::string_view name) {
    PF_UserChangedParamExtra extra{param_index(name)};
    return dispatch(PF_Cmd_USER_CHANGED_PARAM, nullptr, &extra);
}

PF_Err EmulatedHost::frame_setdown() {
    return dispatch(PF_Cmd_FRAME_SETDOWN, nullptr, nullptr);
}

PF_Err EmulatedHost::global_setdown() {
    return dispatch(PF_Cmd_GLOBAL_SETDOWN, nullptr, nullptr);
}

PF_Err EmulatedHost::open_sequence() {
    if (const PF_Err err = global_setup()) {
        return err;
    }
    if (const PF_Err err = params_setup()) {
        return err;
    }
    return sequence_setup();
}

void EmulatedHost::use_declarations(std::vector<DeclaredParam> controls) {
    declared_ = std::move(controls);
    rebuild_param_array();
}

// Index 0 is the input layer; the rest start at their declared values.
void EmulatedHost::rebuild_param_array() {
    params_.assign(declared_.size() + 1, PF_ParamDef{});
    params_[0].param_type = PF_Param_LAYER;
    for (std::size_t i = 0; i < declared_.size(); ++i) {
        PF_ParamDef& live = params_[i + 1];
        live = declared_[i].def;
        if (live.param_type == PF_Param_POPUP) {
            live.u.pd.namesptr = declared_[i].choices.c_str();
        } else if (live.param_type == PF_Param_CHECKBOX) {
            live.u.bd.nameptr = declared_[i].checkbox_label.c_str();
        }
    }
    param_array_.clear();
    for (PF_ParamDef& def : params_) {
        param_array_.push_back(&def);
    }
    layers_.clear();
}

int EmulatedHost::param_index(std::string_view name) const {
    for (std::size_t i = 0; i < declared_.size(); ++i) {
        if (name == declared_[i].def.name) {
            return static_cast<int>(i + 1);
        }
    }
    throw HostError("the module declared no control named \"" + std::string(name) + "\"");
}

PF_ParamDef& EmulatedHost::param(int index) {
    return const_cast<PF_ParamDef&>(std::as_const(*this).param(index));
}

const PF_ParamDef& EmulatedHost::param(int index) const {
    if (index < 0 || index >= static_cast<int>(params_.size())) {
        throw HostError("no parameter at index " + std::to_string(index));
    }
    return params_[static_cast<std::size_t>(index)];
}

void EmulatedHost::set_value(std::string_view name, double value) {
    PF_ParamDef& def = param(name);
    switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            def.u.fd.value = to_fixed(value);
            return;
        case PF_Param_SLIDER:
            def.u.sd.value = static_cast<A_long>(std::llround(value));
            return;
        case PF_Param_POPUP:
            def.u.pd.value = static_cast<A_long>(std::llround(value));
            return;
        case PF_Param_CHECKBOX:
            def.u.bd.value = value != 0.0;
            return;
        default:
            throw HostError("\"" + std::string(name) + "\" does not take a number");
    }
}

double EmulatedHost::value(std::string_view name) const {
    const PF_ParamDef& def = param(param_index(name));
    switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            return from_fixed(def.u.fd.value);
        case PF_Param_SLIDER:
            return def.u.sd.value;
        case PF_Param_POPUP:
            return def.u.pd.value;
        case PF_Param_CHECKBOX:
            return def.u.bd.value;
        default:
            throw HostError("\"" + std::string(name) + "\" has no single number");
    }
}

void EmulatedHost::set_point(std::string_view name, double x, double y) {
    PF_ParamDef& def = param(name);
    if (def.param_type != PF_Param_POINT) {
        throw HostError("\"" + std::string(name) + "\" is not a point");
    }
    def.u.td.x_value = to_fixed(x);
    def.u.td.y_value = to_fixed(y);
}

void EmulatedHost::set_layer(std::string_view name, World* layer) {
    const int index = param_index(name);
    PF_ParamDef& def = param(index);
    if (def.param_type != PF_Param_LAYER) {
        throw HostError("\"" + std::string(name) + "\" is not a layer");
    }
    layers_[index] = layer;
    def.u.ld.layer_marker = layer ? 1 : 0;
}

void EmulatedHost::register_suite(std::string name, A_long version, const void* table) {
    left_out_suites_.erase(name);
    suites_[std::move(name)] = Suite{version, table};
}

void EmulatedHost::leave_out_suite(const std::string& name) {
    left_out_suites_.insert(name);
}

void EmulatedHost::set_basic_suite_present(bool present) {
    basic_suite_present_ = present;
    in_data_.pica_basicP = present ? &basic_suite_ : nullptr;
}

int EmulatedHost::lock_count(PF_Handle handle) const {
    const auto found = handles_.find(reinterpret_cast<const Handle*>(handle));
    return found == handles_.end() ? -1 : found->second->locks;
}

}  // namespace host
