# Windows build: filled in with the cross-build work.
