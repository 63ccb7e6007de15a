# CPack settings for the administrator's zip.
