// Every message the libraries write, one line per kind: its name in
// `MessageKind`, the function that writes it (fully qualified) and its text,
// in which each `{}` stands for one argument, in order. Each text is one
// literal, however long, so that it reads and searches as it is written.
//
// To add a kind, add one line at the end (the kinds before it keep their
// values) and write the message with
// `detail::WriteMessage<MessageKind::Name>(arguments...)`, which checks the
// number of arguments at compile time.
//
// Included with TOVA_PLUGIN_MESSAGE defined, once for each use of the list:
// no include guard, on purpose.
#ifdef TOVA_PLUGIN_MESSAGE
// clang-format off
TOVA_PLUGIN_MESSAGE(LibraryNotOpened, "tova::plugin::Loader::LoadLib", "Error while loading the library [{}]: {}\n")
TOVA_PLUGIN_MESSAGE(HookMissing, "tova::plugin::Loader::LoadLib", "Library [{}] does not export any plugins. The symbol [{}] is missing, or it is not externally visible.\n")
TOVA_PLUGIN_MESSAGE(IncompatibleVersion, "tova::plugin::Loader::LoadLib", "The library [{}] is using an incompatible version [{}] of the tova::plugin Info API. The version in this library is [{}].\n")
TOVA_PLUGIN_MESSAGE(InconsistentLayout, "tova::plugin::Loader::LoadLib", "The plugin::Info size or alignment are not consistent with the expected values for the library [{}]:\n -- size: expected {} | received {}\n -- alignment: expected {} | received {}\n -- We will not be able to safely load plugins from that library.\n")
TOVA_PLUGIN_MESSAGE(RecordsNotProvided, "tova::plugin::Loader::LoadLib", "The library [{}] failed to provide tova::plugin Info for unknown reasons. Please report this error as a bug!\n")
TOVA_PLUGIN_MESSAGE(DemanglingFailed, "tova::plugin::DemangleSymbol", "[Demangle] Failed to demangle the symbol name [{}]. Error code: {}\n")
TOVA_PLUGIN_MESSAGE(UnknownName, "tova::plugin::Loader::LookupPlugin", "[tova::plugin::Loader::LookupPlugin] Failed to get info for [{}]. Could not find a plugin with that name or alias.\n")
TOVA_PLUGIN_MESSAGE(AmbiguousAlias, "tova::plugin::Registry::LookupPlugin", "[tova::plugin::Registry::LookupPlugin] Failed to resolve the alias [{}] because it refers to multiple plugins:\n{}")
TOVA_PLUGIN_MESSAGE(InstanceMissing, "tova::plugin::PluginWithDlHandle::~PluginWithDlHandle", "We have a nullptr plugin instance inside of a PluginWithDlHandle. This should not be possible! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(DeleterMissing, "tova::plugin::PluginWithDlHandle::~PluginWithDlHandle", "This plugin instance ({}) was not given a deleter. This should never happen! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(StaticPluginGivenLibrary, "tova::plugin::Plugin::PrivateCreateStaticPluginInstance", "Trying to create a plugin from a static plugin, but a shared library handle was provided. This should never happen! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(LibraryHandleMissing, "tova::plugin::Plugin::PrivateCreatePluginInstance", "Received Info for [{}], but we were not provided a shared library handle. This should never happen! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(CopySourceMissing, "tova::plugin::Plugin::PrivateCopyPluginInstance", "Received a nullptr _other in the constructor which uses `const Plugin::Implementation*`. This should not be possible! Please report this bug.\n")
TOVA_PLUGIN_MESSAGE(CopyInfoMissing, "tova::plugin::Plugin::PrivateCopyPluginInstance", "[Plugin::Implementation::Copy(_info, _instance)] A Plugin has been copied from its info and instance, but the info was null even though the instance was valid. This should never happen! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(LoadedRecordMissing, "tova::plugin::Loader::PrivateGetInfoForFilePlugin", "[tova::Loader::PrivateGetInfoForFilePlugin] A resolved name [{}] could not be found in the registry of loaded plugins. This should not be possible! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(StaticRecordMissing, "tova::plugin::Loader::PrivateGetInfoForStaticPlugin", "[tova::Loader::PrivateGetInfoForStaticPlugin] A resolved name [{}] could not be found in the static plugin registry. This should not be possible! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(PluginLibraryMissing, "tova::plugin::Loader::PrivateGetPluginDlHandlePtr", "[tova::Loader::PrivateGetInfo] A resolved name [{}] could not be found in the PluginToDlHandleMap. This should not be possible! Please report this bug!\n")
TOVA_PLUGIN_MESSAGE(InterfaceNotImplemented, "tova::plugin::Loader::Create", "[tova::plugin::Loader::Create] The plugin [{}] does not implement the interface [{}].\n")
TOVA_PLUGIN_MESSAGE(CatalogUnknownName, "tova::plugin::Catalog::Instantiate", "[tova::plugin::Catalog] No plugin in the catalog has the name or alias [{}].\n")
TOVA_PLUGIN_MESSAGE(CatalogAmbiguousAlias, "tova::plugin::Catalog::Instantiate", "[tova::plugin::Catalog] The alias [{}] refers to several plugins:\n{}")
TOVA_PLUGIN_MESSAGE(CatalogInterfaceMissing, "tova::plugin::Catalog::Create", "[tova::plugin::Catalog::Create] The plugin [{}] does not implement [{}] (version {} in this application).\n")
TOVA_PLUGIN_MESSAGE(CatalogInterfaceIncompatible, "tova::plugin::Catalog::Create", "[tova::plugin::Catalog::Create] The plugin [{}] was built with version {} of [{}], which does not serve version {} in this application.\n")
TOVA_PLUGIN_MESSAGE(CatalogLibraryUnusable, "tova::plugin::Catalog::Instantiate", "[tova::plugin::Catalog] The library [{}] of the plugin [{}] cannot be used: {}.\n")
// clang-format on
#endif
