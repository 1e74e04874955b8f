# PowerShell completion for ulocfg: commands, options, parameter names and file names, with
# Tab as for PowerShell's own commands. Load it in a session, or in your $PROFILE, with
#     . .\ulocfg.ps1
# The parameter names come from the program itself (ulocfg --names), so that they are always
# the ones this ulocfg takes; the commands come from its --help. Names are completed with or
# without quotes ('wheel[1].cra); options may come before the command, as the program takes
# them anywhere.

Register-ArgumentCompleter -Native -CommandName ulocfg, ulocfg.exe -ScriptBlock {
    param($wordToComplete, $commandAst, $cursorPosition)

    $quotes = [char[]]"'`""

    # The program the line runs: its --names and --help give the names and commands.
    $first = $commandAst.CommandElements[0].Extent.Text.Trim($quotes)
    $program = Get-Command -Name $first -CommandType Application -ErrorAction SilentlyContinue |
        Select-Object -First 1
    if (-not $program) { return }
    $program = $program.Source

    # The words before the cursor, and the one it is in up to the cursor ('' after a space),
    # its opening quote set apart.
    $words = @()
    $current = ''
    foreach ($element in @($commandAst.CommandElements | Select-Object -Skip 1)) {
        $extent = $element.Extent
        if ($extent.StartOffset -le $cursorPosition -and $cursorPosition -le $extent.EndOffset) {
            $current = $extent.Text.Substring(0, $cursorPosition - $extent.StartOffset)
            break
        }
        if ($extent.EndOffset -lt $cursorPosition) { $words += $extent.Text.Trim($quotes) }
    }
    $quote = ''
    if ($current.Length -gt 0 -and $quotes -contains $current[0]) {
        $quote = [string]$current[0]
        $current = $current.Substring(1)
    }
    if ($quote) { $current = $current.Replace($quote, '') }

    # The command is the first word that is neither an option nor the file after --file.
    $command = ''
    $operands = 0
    for ($k = 0; $k -lt $words.Count; $k++) {
        $word = $words[$k]
        if ($word -eq '--file' -or $word -eq '-f' -or $word -eq '--compare') { $k++; continue }
        if ($word.StartsWith('-')) { continue }
        if ($command) { $operands++ } else { $command = $word }
    }
    $previous = if ($words.Count) { $words[-1] } else { '' }

    # Each candidate: the text offered and whether more may follow it (no closing quote).
    $candidates = New-Object System.Collections.Generic.List[object]
    $offer = {
        param($text, $open, $kind)
        $candidates.Add([pscustomobject]@{ Text = $text; Open = $open; Kind = $kind })
    }
    $commandNames = {
        & $program --help 2>$null | ForEach-Object {
            if ($_ -match '^  ([a-z]+) ' -and $Matches[1].StartsWith($current)) {
                & $offer $Matches[1] $false 'Command'
            }
        }
    }
    $files = {
        $folder = if ($current -match '^(.*[\\/])') { $Matches[1] } else { '' }
        $start = $current.Substring($folder.Length)
        $where = if ($folder) { $folder } else { '.' }
        Get-ChildItem -LiteralPath $where -Force -ErrorAction SilentlyContinue |
            Where-Object { $_.Name.StartsWith($start, [StringComparison]::OrdinalIgnoreCase) } |
            ForEach-Object {
                if ($_.PSIsContainer) {
                    & $offer ($folder + $_.Name + '\') $true 'ProviderContainer'
                } else {
                    & $offer ($folder + $_.Name) $false 'ProviderItem'
                }
            }
    }
    # The parameter names that start with the word, completed up to the next [ or . only, so
    # that "wheel" offers "wheel[" and "wheel[1" offers "wheel[1]." and "wheel[10].". For set,
    # whole names get their equals sign and the wheel[N] and ramp[N] forms of get are left out.
    $names = {
        $seen = @{}
        foreach ($name in @(& $program --names 2>$null)) {
            if (-not $name.StartsWith($current, [StringComparison]::Ordinal)) { continue }
            if ($command -eq 'set' -and $name.EndsWith(']')) { continue }
            $rest = $name.Substring($current.Length)
            $cut = $rest.IndexOfAny([char[]]'.[')
            $open = $true
            if ($cut -ge 0) {
                $name = $current + $rest.Substring(0, $cut + 1)
            } elseif ($command -eq 'set') {
                $name += '='
            } else {
                $open = $false
            }
            if ($seen.ContainsKey($name)) { continue }
            $seen[$name] = $true
            & $offer $name $open 'ParameterValue'
        }
    }

    if ($previous -eq '--file' -or $previous -eq '-f' -or $previous -eq '--compare') {
        & $files
    } elseif ($current.StartsWith('-')) {
        $options = @('--file', '--help')
        switch ($command) {
            '' { $options += '--version', '--names', '--compare', '--changes' }
            'edit' { $options += '--compare', '--changes' }
            { $_ -in 'show', 'check' } { $options += '--json' }
            'get' { $options += '--json', '--value' }
            'set' { $options += '--force' }
            'apply' { $options += '--force', '--json' }
            'diff' { $options = @('--help', '--json') }
        }
        $options | Where-Object { $_.StartsWith($current) } |
            ForEach-Object { & $offer $_ $false 'ParameterName' }
    } elseif (-not $command) {
        & $commandNames
    } elseif ($command -eq 'help') {
        if ($operands -eq 0) { & $commandNames }
    } elseif ($command -eq 'get' -or ($command -eq 'set' -and -not $current.Contains('='))) {
        & $names
    } elseif ($command -in 'apply', 'show', 'check', 'screen', 'diff', 'edit') {
        & $files
    }

    # In the quote the word began with; a file name with a space or a quote gets single quotes.
    foreach ($candidate in $candidates) {
        $text = $candidate.Text
        $mark = $quote
        if (-not $mark -and $candidate.Kind -like 'Provider*' -and $text -match '[\s''"$;&(){}@#,|`]') {
            $mark = "'"
        }
        if ($mark -eq "'") { $text = $text.Replace("'", "''") }
        if ($mark) {
            $text = $mark + $text
            if (-not $candidate.Open) { $text += $mark }
        }
        [System.Management.Automation.CompletionResult]::new(
            $text, $candidate.Text, $candidate.Kind, $candidate.Text)
    }
}
