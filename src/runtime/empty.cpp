// Keeps every library buildable while a folder has no sources of its own.
