// The library lists the driver links with: the product's libraries in their
// static or shared form, the ODBC client or precompiler runtime, and the
// GUI console objects, as "|"-separated items ("^" engine directory, "<"
// and "#" common directory).
#include <cstdio>
#include <cstring>

#include "bin/driver.h"
#include "msbasic.h"
#include "mstmp.h"

namespace qrv::bin {
namespace {

// The product's library set. Only the basic runtime is built here; the
// other groups are the places a larger product names its libraries in, and
// an empty group contributes nothing to any list. Groups are marked list
// text; "-l" names are link names.
struct ProductLibraries {
    const char *engine_set = "", *small_engine_set = "", *query_set = "", *api_library = "", *data_library = "",
               *utility_group = "";
    const char *network_group = "", *network_group_basic = "";  // the longer form is for basic-only links
    const char *support_item = "", *cipher_item = "", *compatibility_items = "", *readline_group = "";
    const char *src_api_group = "", *src_query_group = "", *src_engine_group = "", *src_index_library = "",
               *src_data_group = "", *src_support_group = "", *src_small_engine_group = "", *src_small_data_group = "",
               *src_small_support_group = "";
    const char *basic_item = "", *space_model_items[4] = {"", "", "", ""}, *local_basic_item = "", *rom_stub = "",
               *message_table = "", *codeset_table = "";
    const char *forced_load_object = "", *precompiler_group = "";
    const char *bcs_client_pair[2] = {"", ""}, *bcs_client_pair_traceable[2] = {"", ""}, *bcs_support = "",
               *bcs_gui_main = "";
    const char *link_engine = "", *link_small_engine = "", *link_utility_api = "", *link_basic = "",
               *link_message_table = "";
    const char *odbc_client = "";
};

constexpr ProductLibraries kLibraries = {
    .basic_item = "<libqrvbasic",
    .bcs_client_pair = {"qrvbcscl", "qrvbcsks"},
    .bcs_client_pair_traceable = {"qrvbcscl_t", "qrvbcsks_t"},
    .bcs_support = "qrvbcssup",
    .bcs_gui_main = "^bcsguimain",
    .link_basic = "qrvbasic",
    .odbc_client = "qrvodbccl",
};

constexpr const char *kSpaceModelSuffix[] = {"", "_sprad", "_spdebug", "_spefence"};

void add(char *list, const char *piece) { append(list, kGeneratedSize, piece); }

// Appends the items of a group, each after a '|'; with `again`, every item
// once more with "./" after its mark, naming the same library a second time
// for the linker's duplicate pass.
void add_group(char *list, const char *group, bool again = false) {
    for (const char *p = group; *p != '\0';) {
        while (*p == '|') ++p;
        if (*p == '\0') break;
        size_t n = std::strcspn(p, "|");
        char item[256];
        bool marked = *p == '^' || *p == '<' || *p == '#';
        if (n >= sizeof item - 3) n = sizeof item - 3;
        if (again && marked) {
            std::snprintf(item, sizeof item, "%c./%.*s", *p, static_cast<int>(n - 1), p + 1);
        } else {
            std::snprintf(item, sizeof item, "%.*s", static_cast<int>(n), p);
        }
        add(list, "|");
        add(list, item);
        p += n;
    }
}

void add_with_duplicates(char *list, const char *group, bool duplicates) {
    add_group(list, group);
    if (duplicates) add_group(list, group, true);
}

bool codeset_table_target(const char *target) {
    return std::strcmp(target, "etkernel-sh") == 0 || starts_with(target, "etcompact-");
}

void add_message_tables(char *list) {
    const ProductLibraries &l = kLibraries;
    add_group(list, l.rom_stub);
    if (codeset_table_target(g_driver.target)) add_group(list, l.codeset_table);
    add_group(list, l.message_table);
}

void add_basic_tail(char *list) {
    add_group(list, kLibraries.basic_item);
    add_group(list, kLibraries.space_model_items[g_driver.space_model]);
}

void static_from_lib(char *list, bool dup) {
    const ProductLibraries &l = kLibraries;
    const Flags &f = g_driver.flags;
    if (f.small) {
        add_with_duplicates(list, l.small_engine_set, dup);
        if (dup) add_group(list, l.small_engine_set, true);  // the small set twice over
        add_group(list, g_driver.main_item);
        add_group(list, l.network_group);
    } else {
        if (f.utilapi) add_group(list, l.utility_group);
        add_group(list, l.query_set);
        add_group(list, l.engine_set);
        add_group(list, g_driver.main_item);
        add_group(list, l.network_group);
        add_group(list, l.api_library);
        if (dup) {
            if (f.utilapi) add_group(list, l.utility_group, true);
            add_group(list, l.query_set, true);
            add_group(list, l.engine_set, true);
            add_group(list, l.api_library, true);
            add_group(list, l.data_library, true);
        }
    }
    add_group(list, l.support_item);
    if (f.encryption) add_group(list, l.cipher_item);
    add_group(list, l.compatibility_items);
}

void static_from_src_lib(char *list, bool dup) {
    const ProductLibraries &l = kLibraries;
    const Flags &f = g_driver.flags;
    add(list, "|");
    add(list, g_driver.main_item);
    add(list, "|");
    add(list, l.network_group);
    add(list, "|");
    if (f.small) {
        add_with_duplicates(list, l.src_small_engine_group, dup);
        add_with_duplicates(list, l.src_small_data_group, dup);
        add_with_duplicates(list, l.src_small_support_group, dup);
        return;
    }
    if (f.utilapi) add_group(list, l.utility_group);
    add_group(list, l.src_api_group);
    add_group(list, l.src_query_group);
    if (dup) add_group(list, l.src_api_group, true);
    add_with_duplicates(list, l.src_engine_group, dup);
    add_group(list, l.src_index_library);
    add_with_duplicates(list, l.src_data_group, dup);
    add_group(list, l.src_support_group);
    if (f.encryption) add_group(list, l.cipher_item);
    add_group(list, f.utilapi ? l.utility_group : l.compatibility_items);
}

void static_product_list(char *list, const char *encryption) {
    const ProductLibraries &l = kLibraries;
    const Flags &f = g_driver.flags;
    if (f.basic_only) {
        if (f.basic_net) add_group(list, l.network_group);
        add_basic_tail(list);
        add_group(list, l.local_basic_item);
        add_message_tables(list);
        return;
    }
    bool dup = feature_on(msbin_optfile_getvar("MSSYS_DUPLICATELIB"));
    if (f.forced_api && l.forced_load_object[0] != '\0') {
        add(list, g_driver.engine_dir);
        add(list, "/");
        add(list, l.forced_load_object);
        add(list, conventions().object);
    }
    if (f.src_lib) {
        static_from_src_lib(list, dup);
    } else {
        static_from_lib(list, dup);
    }
    if (f.readline) add_group(list, l.readline_group);
    add_basic_tail(list);
    add_group(list, l.local_basic_item);
    add_message_tables(list);
    add_group(list, encryption);
}

// "-l" and a link name, or "" for a library the product does not have.
struct LinkItem {
    char text[128] = "";
    LinkItem(const char *name, const char *suffix = "") {
        if (name[0] != '\0') std::snprintf(text, sizeof text, "-l%s%s", name, suffix);
    }
};

void shared_in_directory(char *list, const char *name, const char *prefix, const char *suffix) {
    if (name[0] == '\0') return;
    add(list, "|");
    add(list, g_driver.shared_dir);
    add(list, "/");
    add(list, prefix);
    add(list, name);
    add(list, suffix);
}

void shared_product_list(char *list) {
    const ProductLibraries &l = kLibraries;
    const Flags &f = g_driver.flags;
    const char *basic_suffix = kSpaceModelSuffix[g_driver.space_model];
    const char *engine = f.basic_only ? "" : (f.small ? l.link_small_engine : l.link_engine);
    const char *utility = f.utilapi && !f.small && !f.basic_only ? l.link_utility_api : "";
    const char *network = f.basic_only ? l.network_group_basic : l.network_group;
    if (in_windows_family(g_driver.target)) {
        const char *suffix = conventions().library;
        add(list, "|");
        add(list, g_driver.main_item);
        add(list, "|");
        char engine_name[128] = "";
        if (engine[0] != '\0') std::snprintf(engine_name, sizeof engine_name, "%s%s", engine, basic_suffix);
        shared_in_directory(list, utility, "", suffix);
        shared_in_directory(list, engine_name, "", suffix);
        char basic[128];
        std::snprintf(basic, sizeof basic, "%s%s", l.link_basic, basic_suffix);
        shared_in_directory(list, basic, "", suffix);
        add_group(list, network);
        if (f.basic_shared) shared_in_directory(list, engine_name, "", suffix);
        shared_in_directory(list, l.link_message_table, "", suffix);
        return;
    }
    const char *style = g_driver.shlib_style != nullptr ? g_driver.shlib_style : "";
    LinkItem utility_item(utility), engine_item(engine), basic_item(l.link_basic, basic_suffix),
        message_item(l.link_message_table);
    auto is = [style](std::initializer_list<const char *> names) {
        for (const char *name : names) {
            if (std::strcmp(style, name) == 0) return true;
        }
        return false;
    };
    const char *main = g_driver.main_item, *shdir = g_driver.shared_dir;
    const char *readline = f.readline ? l.readline_group : "";
    char text[kGeneratedSize];
    text[0] = '\0';
    if (is({"etkernel"}) && std::strcmp(g_driver.target, "etkernel-arm") == 0) {
        std::snprintf(text, sizeof text, "%s|%s|%s", main, network, shdir);
        add(list, text);
        for (const char *name : {utility, engine, l.link_basic, l.link_message_table}) {
            shared_in_directory(list, name, "lib", ".so");
        }
        return;
    }
    if (is({"etkernel", "etcompact"})) {
        std::snprintf(text, sizeof text, "%s|%s|-L%s|", main, network, shdir);
        add(list, text);
        for (const LinkItem *item : {&utility_item, &engine_item, &basic_item, &message_item})
            add_group(list, item->text);
        return;
    }
    const char *u = utility_item.text, *e = engine_item.text, *b = basic_item.text, *m = message_item.text;
    if (is({"alpha", "freebsd", "hp", "ibm", "linux", "lynxos_4", "macos", "netbsd", "sgi", "sgi_64", "sgi_n32"})) {
        std::snprintf(text, sizeof text, "%s%s%s|-L%s|%s|%s|%s|%s|", main, network, readline, shdir, u, e, b, m);
    } else if (is({"lynxos_5"})) {
        std::snprintf(text, sizeof text, "%s%s%s|-Wl,-Bdynamic|-L%s|%s|%s|%s|%s|", main, network, readline, shdir, u, e,
                      b, m);
    } else if (is({"neutrino", "neutrino-gcc", "solaris", "solaris_ultra_64bit", "s5r4", "sun"})) {
        std::snprintf(text, sizeof text, "-Bstatic|%s%s%s|-Bdynamic|-L%s|%s|%s|%s|%s|", main, network, readline, shdir,
                      u, e, b, m);
    } else if (is({"vxworks", "vxworks-kernel-mode"})) {
        std::snprintf(text, sizeof text, "%s%s%s|-Xdynamic|-L%s|%s|%s|%s|", main, network, readline, shdir, u, e, b);
    }
    add(list, text);
}

void deprecated_library(char *list) {
    if (!g_driver.flags.deprecated) return;
    add(list, g_driver.root);
    add(list, "/odbccl/lib/deprecated");
    add(list, conventions().library);
    add(list, "|");
}

}  // namespace

void odbc_list(char *list) noexcept {
    list[0] = '\0';
    const Flags &f = g_driver.flags;
    const char *target = g_driver.target;
    char client[64];
    std::snprintf(client, sizeof client, "%s%s", kLibraries.odbc_client, f.traceable ? "_t" : "");
    bool windows = in_windows_family(target);
    switch (g_driver.mode) {
        case kModePrecompiledC:
        case kModePrecompiledCxx:
            if (!f.shared_link) add_group(list, kLibraries.precompiler_group);
            add(list, "|");
            return;
        case kModeOdbc:
        case kModeOdbcCxx:
            if (std::strcmp(target, "wince_arm") == 0 || std::strcmp(target, "wince_emu") == 0) {
                add(list, "/D_WINDOWS|odbc32.lib");
                return;
            }
            deprecated_library(list);
            if (windows) {
                shared_in_directory(list, client, "", conventions().library);
                return;
            }
            {
                char directory[kDirSize + 16];
                if (f.shared_link) {
                    std::snprintf(directory, sizeof directory, "%s", g_driver.shared_dir);
                } else {
                    std::snprintf(directory, sizeof directory, "%s/odbccl/lib", g_driver.root);
                }
                char text[kGeneratedSize];
                if (std::strcmp(target, "etkernel-arm") == 0) {
                    std::snprintf(text, sizeof text, "%s/lib%s%s", directory, client, f.shared_link ? ".so" : ".a");
                } else {
                    std::snprintf(text, sizeof text, "-L%s|-l%s", directory, client);
                }
                add(list, text);
            }
            return;
        case kModeOdbcBcs:
        case kModeOdbcBcsCxx:
            deprecated_library(list);
            if (windows) {
                shared_in_directory(list, client, "", conventions().library);
                add(list, "|/D_WINDOWS|user32.lib");
            } else if (f.driver) {
                char text[kGeneratedSize];
                std::snprintf(text, sizeof text, "-L%s|-l%s|", g_driver.shared_dir, client);
                add(list, text);
            } else {
                const char *const *pair =
                    f.traceable ? kLibraries.bcs_client_pair_traceable : kLibraries.bcs_client_pair;
                char text[512];
                std::snprintf(text, sizeof text, "^%s|^%s|#%s|", pair[0], pair[1], kLibraries.bcs_support);
                add(list, text);
                char encryption[kListSize];
                if (const char *enc = list_var("MSSYS_ENCRYPTION_LIB", encryption, sizeof encryption)) add(list, enc);
            }
            return;
        default:
            return;
    }
}

void gui_console_list(char *list) noexcept {
    list[0] = '\0';
    const char *target = g_driver.target;
    if (!g_driver.flags.guiconsole || (std::strcmp(target, "wm5_arm") != 0 && std::strcmp(target, "wm6-arm") != 0)) {
        return;
    }
    const char *object = conventions().object;
    char text[kGeneratedSize];
    std::snprintf(text, sizeof text, "%s/guiconsolemain%s|%s/guiconsole_ppc%s", g_driver.common_dir, object,
                  g_driver.common_dir, object);
    add(list, text);
    if ((g_driver.mode & kOdbcBit) != 0) add_group(list, kLibraries.bcs_gui_main);
}

void product_list(char *list, const char *encryption) noexcept {
    list[0] = '\0';
    if (g_driver.flags.no_product) return;
    if (g_driver.flags.shared_link) {
        shared_product_list(list);
    } else {
        static_product_list(list, encryption);
    }
}

}  // namespace qrv::bin
