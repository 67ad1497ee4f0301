function bench_note (module, fmt, varargin)
  % bench_note (MODULE, FMT, ...): a line under a comparison with what
  % else the run measured (memory, iterations, accuracy), indented so the
  % comparisons stand out.
  printf ('%-12s |   %s\n', module, sprintf (fmt, varargin{:}));
end
