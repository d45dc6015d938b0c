# Sources of this group of dialogs, added to plover_dialogs.
target_sources(plover_dialogs PRIVATE)
