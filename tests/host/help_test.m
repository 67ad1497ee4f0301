% Help for every function in the build folder: help, lookfor, Contents,
% and each help text's example run.
1;

function code = example_of (name)
  % The lines between "Example" and "See also" of NAME's help text.
  lines = strsplit (get_help_text (name), "\n");
  first = find (strncmp (strtrim (lines), 'Example', 7), 1);
  last = find (strncmp (strtrim (lines), 'See also', 8), 1);
  if (isempty (first) || isempty (last) || last < first + 2)
    error ('help %s: no example before See also', name);
  end
  code = strjoin (lines(first+1:last-1), "\n");
end

function out = run_example (code)
  % Runs CODE in a workspace of its own and returns what it printed.
  out = evalc (code);
end

names = {'sparseprec', 'sparseprec_path', 'sparseprec_plot', 'dirsolve', 'dirsolve_duo', 'slopemask', 'gramprod', ...
         'stepmin', 'stepcoef', 'thresh', 'entryprod', 'colrunprod', ...
         'colsetprod', 'cdsweep'};
% A phrase of each first line, which lookfor searches.
keywords = {{'precision', 'inverse covariance', 'graphical', 'lasso'}, ...
            {'path of lambda', 'EBIC', 'cross-validation'}, 'choice criterion', 'preconditioned conjugate', 'Gauss-Seidel', ...
            'free set', 'above a threshold', 'minimising step', 'feed stepmin', ...
            'shrinkage', 'A2''*B', 'value and position lists', ...
            'by its block columns', 'Newton direction'};
folder = fileparts (which ('dirsolve'));

% Contents.m names the version and lists every function once, by the first
% line of its help; every compiled module in the folder is one of them.
contents = fileread (fullfile (folder, 'Contents.m'));
version = regexp (contents, '% Version (\d+\.\d+\.\d+)\n', 'tokens', 'once');
if (isempty (version))
  error ('Contents.m gives no version line');
end
version = version{1};
for i = 1:numel (names)
  line = regexp (contents, ['\n%   ' names{i} ' +- ([^\n]*)'], 'tokens');
  if (numel (line) ~= 1)
    error ('Contents.m does not list %s once', names{i});
  end
  % Its line there is the first line of its help text.
  first = strsplit (strtrim (get_help_text (names{i})), "\n"){1};
  if (! strcmp (line{1}{1}, regexprep (first, '^\S+\s+', '')))
    error ('Contents.m says of %s "%s", its help "%s"', names{i}, line{1}{1}, first);
  end
end
modules = [glob(fullfile (folder, '*.mex')); glob(fullfile (folder, '*.oct'))];
for i = 1:numel (modules)
  [~, m] = fileparts (modules{i});
  if (! any (strcmp (m, names)))
    error ('module %s is not among the documented functions', m);
  end
end

for i = 1:numel (names)
  name = names{i};
  % The compiled module is what runs. A .mex takes its help from the file
  % of comments beside it; an .oct shows only its own, which must be there.
  [~, ~, ext] = fileparts (which (name));
  if (! any (strcmp (ext, merge (strncmp (name, 'sparseprec', 10), {'.m'}, {'.mex', '.oct'}))))
    error ('%s resolves to %s', name, which (name));
  end
  txt = evalc (sprintf ('help %s', name));
  must = {[name '('], 'Example', 'See also', ['sparsekernels ' version]};
  for k = 1:numel (must)
    if (isempty (strfind (txt, must{k})))
      error ('help %s lacks "%s"', name, must{k});
    end
  end
  if (! isempty (strfind (txt, '@PROJECT_VERSION@')))
    error ('help %s shows an unconfigured version', name);
  end
  for word = cellstr (keywords{i})
    if (! any (strcmp (lookfor (word{1}), name)))
      error ('lookfor ''%s'' does not find %s', word{1}, name);
    end
  end
end

% Every example runs, prints, and makes no module refuse a call.
for i = 1:numel (names)
  out = run_example (example_of (names{i}));
  if (isempty (strtrim (out)))
    error ('the example of %s prints nothing', names{i});
  end
  if (! isempty (regexp (out, '(ERROR|Error|error):', 'once')))
    error ('the example of %s printed a rejection:\n%s', names{i}, out);
  end
end
