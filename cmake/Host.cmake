# The host stand-in: filled in by cmake/Host.cmake's owner.
