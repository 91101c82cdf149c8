// The regression tool under node sees the host's files below /host, so the
// runner passes /host/<absolute path> for the committed digests.
Module.preRun = [() => {
  FS.mkdir('/host');
  FS.mount(NODEFS, { root: '/' }, '/host');
}];
