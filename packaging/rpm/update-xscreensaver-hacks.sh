# Fedora's XScreenSaver lists the hacks named in hacks.conf.d once this has
# rebuilt its list; without XScreenSaver there is nothing to do. The command is
# in /usr/sbin, or in /usr/bin where sbin is merged into it.
for command in /usr/sbin/update-xscreensaver-hacks /usr/bin/update-xscreensaver-hacks; do
  if [ -x "$command" ]; then
    "$command" || :
    break
  fi
done
