function builds_agree_test (mexdir, octdir)
  % builds_agree_test (MEXDIR, OCTDIR) makes the calls of builds_agree_cases
  % with each build of the modules, each in a process of its own (both
  % builds give every module the same name), and fails unless both print
  % the same text, return the same bits, serve or refuse as the case
  % expects (a refusal printing one line and making no output), and leave
  % the arguments alone.
  here = fileparts (mfilename ('fullpath'));
  octave = fullfile (OCTAVE_HOME, 'bin', 'octave-cli');
  work = tempname (); mkdir (work);
  dirs = {mexdir, octdir}; ext = {'.mex', '.oct'};
  r = cell (1, 2);
  for b = 1:2
    file = sprintf ('%s/run_%d.bin', work, b);
    % One BLAS thread: the same dgemm partition in both processes.
    cmd = sprintf (['OPENBLAS_NUM_THREADS=1 "%s" --no-gui --norc --no-history --quiet --eval ' ...
                    '"addpath(''%s''); addpath(''%s''); builds_agree_run(''%s'')"'], ...
                   octave, dirs{b}, here, file);
    if (system (cmd) != 0)
      error ('builds_agree:run', 'the calls with %s failed', dirs{b});
    end
    s = load (file);
    r{b} = s.r;
  end
  confirm_recursive_rmdir (false, 'local');
  rmdir (work, 's');

  cases = builds_agree_cases ();
  for c = 1:numel (cases)
    k = cases(c);
    what = sprintf ('case %d (%s)', c, k.fn);
    for b = 1:2
      if (! strcmp (k.fn, 'sparseprec') && ! regexp (r{b}.from{c}, [regexptranslate('escape', ext{b}) '$']))
        error ('builds_agree:from', '%s: ran %s, not the %s build', what, r{b}.from{c}, ext{b});
      end
      if (! r{b}.kept(c))
        error ('builds_agree:kept', '%s: the %s build changed an argument', what, ext{b});
      end
      printed = r{b}.printed{c};
      if (k.reject && (r{b}.made(c) || isempty (printed) || any (printed(1:end-1) == "\n")))
        error ('builds_agree:reject', '%s: the %s build printed [%s] and %s an output', ...
               what, ext{b}, printed, merge (r{b}.made(c), 'made', 'made no'));
      elseif (! k.reject && (! r{b}.made(c) || ! isempty (printed)))
        error ('builds_agree:serve', '%s: the %s build refused with [%s]', what, ext{b}, printed);
      end
    end
    if (! strcmp (r{1}.printed{c}, r{2}.printed{c}))
      error ('builds_agree:printed', '%s: MEX printed [%s], oct-file [%s]', what, ...
             r{1}.printed{c}, r{2}.printed{c});
    end
    if (! same_bits (r{1}.out{c}, r{2}.out{c}))
      error ('builds_agree:bits', '%s: the outputs differ between the builds', what);
    end
  end
  printf ('%d calls, the same from both builds\n', numel (cases));
end
