// What the translator plug-ins share: the export marker. They are shared
// objects of their own, loaded by the library from
// <installation>/nls/translate/; they link nothing of the library and take
// only its header-only tables and converter.
#pragma once

#define QRV_PLUGIN_API extern "C" __attribute__((visibility("default")))
