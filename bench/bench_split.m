function bench_split (module, varargin)
  % bench_split (MODULE, PART, T, PART, T, ...): where one call's time goes,
  % on one line under its comparison, e.g. the kernel, the creation of the
  % output (zeros() of its size) and the host's copy of it on return.
  % Times in seconds; a part measured as a difference may come out slightly
  % negative on a loaded machine and is printed as it is.
  parts = '';
  for k = 1:2:numel (varargin)
    parts = [parts sprintf('%s %.2f ms, ', varargin{k}, 1e3 * varargin{k + 1})];
  end
  bench_note (module, 'time split: %s', parts(1:end - 2));
end
