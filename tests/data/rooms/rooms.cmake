# A room whose link list names a room it never includes.
list(APPEND zy_rooms p2v support)
set(zy_folder_p2v p2v)
set(zy_links_p2v "support;access")
set(zy_folder_support platform/support)
