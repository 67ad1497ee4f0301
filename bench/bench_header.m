function bench_header (name, host, dir)
  % bench_header (NAME, HOST, DIR): the line that opens benchmark NAME:
  % which build the modules come from (HOST 'oct' or 'mex', in DIR), whether
  % glibc is asked for huge pages, and the rates every floor of the run
  % uses. Warns when a module resolves outside DIR (not built for HOST).
  switch (host)
    case 'oct'
      what = 'oct-files, outputs returned without a copy';
    otherwise
      what = 'MEX, each output copied on return';
  end
  tunables = getenv ('GLIBC_TUNABLES');
  if (isempty (tunables))
    tunables = 'GLIBC_TUNABLES not set';
  else
    tunables = ['GLIBC_TUNABLES=' tunables];
  end
  [bw, gf, bw1] = bench_rates ();
  printf ('== %s | modules: %s (%s) | %s | bandwidth %.1f GB/s (one thread %.1f) | dgemm %.1f GF/s | %d threads\n', ...
          name, host, what, tunables, bw / 1e9, bw1 / 1e9, gf / 1e9, nproc ());
  printf ('%-12s | %-44s | %11s | %-24s %11s | %7s | %-17s | %-9s | %-20s | %s\n', 'module', ...
          'workload', 'ours', 'what a user writes', 'time', 'ratio', 'floor', 'ours/fl', ...
          'target', 'what the floor holds');
  % Every module the build has for the other host should come from DIR.
  other = fullfile (fileparts (dir), ifelse_host (host));
  for f = dir_names (other)
    [~, m] = fileparts (f{1});
    where = which (m);
    if (isempty (where) || ! strncmp (where, dir, numel (dir)))
      printf ('   note: %s is not in %s; calls reach %s\n', m, dir, where);
    end
  end
end

function h = ifelse_host (host)
  if (strcmp (host, 'oct'))
    h = 'mex';
  else
    h = 'oct';
  end
end

function names = dir_names (d)
  names = {};
  if (exist (d, 'dir'))
    l = [dir(fullfile (d, '*.mex')); dir(fullfile (d, '*.oct'))];
    names = {l.name};
  end
end
